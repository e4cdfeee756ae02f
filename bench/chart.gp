# The chart of bench/run: per document, the median time of the Ghostscript command line beside
# that of the plug-in's view, on a logarithmic scale.
# Usage: gnuplot -e "data='chart.tsv'; output='chart.png'" chart.gp
set terminal pngcairo size 1100,640 font "DejaVu Sans,10"
set output output
set datafile separator "\t"
set title "Quillmend: plug-in (one XT\\_View) against the gs command line, median per document"
set ylabel "seconds (log scale)"
set logscale y
set grid ytics
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set xtics rotate by -40 left noenhanced
set key top left
set bmargin 15
set rmargin 14
plot data using 2:xtic(1) title "gs command line" linecolor rgb "#6b7b8c", \
     '' using 3 title "plug-in (XT\\_View)" linecolor rgb "#d0682b"
