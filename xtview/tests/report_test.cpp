// xtview end to end: the report of a run (--report), read back with the library that wrote it.
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sha256.h"
#include "support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace xtview_test {
namespace {

using Json = nlohmann::json;

constexpr int kSamplePages = 3;  // xtview/sample/sample.ps

class Report : public XtviewTest {
 protected:
  static std::vector<Json> ReadReport(const fs::path& file) {
    std::vector<Json> lines;
    std::istringstream text(ReadFile(file));
    for (std::string line; std::getline(text, line);) lines.push_back(Json::parse(line));
    return lines;
  }

  // The records after the run's line, by the file name of their input.
  static std::map<std::string, Json> ByName(const std::vector<Json>& lines) {
    std::map<std::string, Json> records;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const fs::path input = PathFromUtf8(lines[i]["input"].get<std::string>());
      records[PathToUtf8(input.filename())] = lines[i];
    }
    return records;
  }

  // The workers the plug-in's start-up line names, which it does only for more than one.
  static int WorkersInStartup(const std::string& startup) {
    const std::size_t end = startup.find(" workers side by side");
    if (end == std::string::npos) return 1;
    const std::size_t start = startup.rfind(' ', end - 1) + 1;
    return std::stoi(startup.substr(start, end - start));
  }

  static std::string Sha256(const fs::path& file) {
    const std::string bytes = ReadFile(file);
    return xtview::Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  // A converted input's record against the files on disk.
  static void ExpectConverted(const Json& record, const fs::path& input, const fs::path& output) {
    EXPECT_EQ(record["result"], "converted") << record;
    EXPECT_EQ(record["input_sha256"], Sha256(input));
    EXPECT_EQ(record["input_size"], fs::file_size(input));
    EXPECT_EQ(record["output"], PathToUtf8(output));
    EXPECT_EQ(record["output_sha256"], Sha256(output));
    EXPECT_EQ(record["output_size"], fs::file_size(output));
    EXPECT_EQ(record["plugin_result"], fs::file_size(output));
    EXPECT_EQ(record["pages"], kSamplePages);
  }
};

TEST_F(Report, HasARecordForEachInputWithItsResultAndTheFilesDigests) {
  const fs::path stage = Stage(Converting());
  const fs::path in = Folder("Fall Ω");
  fs::copy_file(SamplePdf(), in / "good.pdf");
  WriteFile(in / "broken.pdf", "%PDF-1.4\n" + std::string(300, 'y'));
  WriteFile(in / "notes.pdf", std::string(400, 'x'));
  const fs::path out = Folder("out");
  const fs::path report = out / "report.jsonl";

  // The real Ghostscript cannot open broken.pdf. One view at a time, the stand-in's first random
  // draw (seed 0) fails broken.pdf and its second converts good.pdf.
  const RunResult run = Run(stage,
                            {"-j", "1", "-r", "--out", PathToUtf8(out), "--report",
                             PathToUtf8(report), PathToUtf8(in), PathToUtf8(in / "missing.pdf")},
                            "fail-random");

  EXPECT_EQ(run.exit_code, 1) << run.output;
  const std::vector<Json> lines = ReadReport(report);
  ASSERT_EQ(lines.size(), 5u) << ReadFile(report);
  const Json& head = lines[0];
  EXPECT_EQ(head["record"], "run");
  EXPECT_EQ(head["interrupted"], false);
  EXPECT_EQ(head["exit_code"], 1);
  EXPECT_EQ(head["xtview_version"], XTVIEW_TEST_VERSION);
  EXPECT_EQ(head["plugin"]["sha256"], Sha256(stage / BuildPath(XTVIEW_TEST_PLUGIN).filename()));
  EXPECT_EQ(head["ghostscript"]["sha256"], Sha256(stage / QUILLMEND_GHOSTSCRIPT_LIBRARY));
  EXPECT_EQ(head["ghostscript"]["product"], "GPL Ghostscript");
  EXPECT_EQ(head["ghostscript"]["revision"], 10000);
  EXPECT_EQ(head["options"]["report"], PathToUtf8(report));

  std::map<std::string, Json> records = ByName(lines);
  std::map<std::string, std::string> results;
  for (const auto& [name, record] : records) results[name] = record["result"];
  EXPECT_EQ(results, (std::map<std::string, std::string>{{"broken.pdf", "failed"},
                                                         {"good.pdf", "converted"},
                                                         {"missing.pdf", "not read"},
                                                         {"notes.pdf", "declined"}}));
  ExpectConverted(records["good.pdf"], in / "good.pdf", out / "good.outlined.pdf");
  EXPECT_EQ(records["notes.pdf"]["input_sha256"], Sha256(in / "notes.pdf"));
  EXPECT_EQ(records["notes.pdf"]["plugin_result"], -1);
  EXPECT_EQ(records["broken.pdf"]["input_sha256"], Sha256(in / "broken.pdf"));
  EXPECT_EQ(records["broken.pdf"]["plugin_result"], -2);
  EXPECT_EQ(records["broken.pdf"]["output"], nullptr);
  EXPECT_EQ(records["missing.pdf"]["input_sha256"], nullptr);
  EXPECT_EQ(ListFolder(out), (std::vector<std::string>{"good.outlined.pdf", "report.jsonl"}));
}

// --isolation, --time-limit and --parallel reach the plug-in, and the report records the mode,
// the bounds and the workers. With no worker in the stage, the plug-in says so at start and the
// file fails.
TEST_F(Report, RecordsTheIsolationTheRunAskedFor) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path report = Folder("out") / "report.jsonl";
  const RunResult run =
      Run(stage, {"--isolation", "process", "--time-limit", "30", "--parallel", "3", "--report",
                  PathToUtf8(report), "-o", PathToUtf8(Folder("converted") / "sample.pdf"),
                  PathToUtf8(SamplePdf())});
  EXPECT_EQ(run.exit_code, 1) << run.output;
  EXPECT_EQ(Count(run.output, "QUILLMEND_ISOLATION=process, but the conversion worker"), 1)
      << run.output;
  const std::vector<Json> lines = ReadReport(report);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["isolation"], Json::parse(R"({"mode": "process", "time_limit_s": 30,
      "memory_limit_mb": 2048, "output_limit_mb": 4096, "parallel": 3})"));
  EXPECT_EQ(lines[0]["options"]["isolation"], "process");
  EXPECT_EQ(lines[0]["options"]["time_limit"], 30);
  EXPECT_EQ(lines[0]["options"]["parallel"], 3);
  // The plug-in's start-up line names the library the plug-in loaded and the mode it was given.
  const std::string startup = lines[0]["plugin_startup"].get<std::string>();
  EXPECT_EQ(startup.rfind("Quillmend " XTVIEW_TEST_VERSION " converts with GPL Ghostscript ", 0),
            0u)
      << startup;
  EXPECT_NE(startup.find("a separate process, each view for at most 30 s"), std::string::npos)
      << startup;
  EXPECT_EQ(WorkersInStartup(startup), 3) << startup;
  EXPECT_EQ(lines[1]["plugin_result"], -2);
  // The file failed for the worker's absence, and the plug-in's reason says so on its line and
  // in its record.
  const std::string reason =
      "the plug-in could not convert it: the conversion worker (quillmend-convert.exe) is "
      "missing, could not start or could not be bounded; see the message when the plug-in was "
      "loaded.";
  EXPECT_EQ(lines[1]["reason"], reason);
  EXPECT_EQ(Count(run.output, "sample.pdf: " + reason), 1) << run.output;
}

// Without --parallel the plug-in takes QUILLMEND_PARALLEL from xtview's environment; --parallel
// sets it over that. The report records the workers as the plug-in's start-up line names them.
TEST_F(Report, RecordsTheWorkersTheEnvironmentOrParallelGive) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path report = Folder("out") / "report.jsonl";
  const fs::path notes = Folder("in") / "notes.txt";
  WriteFile(notes, std::string(400, 'x'));
  struct Case {
    std::string environment;
    std::string option;
    int workers;  // 0: as many as the plug-in says for auto
    Json recorded_option;
  };
  const Case cases[] = {{"5", "", 5, nullptr},
                        {"5", "2", 2, 2},
                        {"", "auto", 0, "auto"},
                        {"17", "", 1, nullptr}};  // unusable: the plug-in's one worker
  for (const Case& test : cases) {
    SCOPED_TRACE("QUILLMEND_PARALLEL '" + test.environment + "', --parallel '" + test.option + "'");
    SetEnvironment("QUILLMEND_PARALLEL", test.environment);
    std::vector<std::string> arguments = {"--isolation", "process", "--force", "--report",
                                          PathToUtf8(report)};
    if (!test.option.empty()) arguments.insert(arguments.end(), {"--parallel", test.option});
    arguments.push_back(PathToUtf8(notes));
    const RunResult run = Run(stage, arguments);
    SetEnvironment("QUILLMEND_PARALLEL", "");
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(Count(run.output, "QUILLMEND_PARALLEL is neither auto nor"),
              test.environment == "17" ? 1 : 0)
        << run.output;
    const Json head = ReadReport(report).at(0);
    const int workers = WorkersInStartup(head["plugin_startup"].get<std::string>());
    EXPECT_EQ(head["isolation"]["parallel"], workers) << head;
    if (test.workers > 0) {
      EXPECT_EQ(workers, test.workers) << head;
    }
    EXPECT_EQ(head["options"]["parallel"], test.recorded_option);
  }
}

// The page count is qpdf's, for a document whose objects lie in compressed object streams too.
// The stand-in passes its input on as the converted document.
TEST_F(Report, CountsThePagesOfADocumentWithCompressedObjectStreams) {
  const fs::path stage = Stage(Ghostscript::StandIn);
  const fs::path out = Folder("out");
  const RunResult run =
      Run(stage, {"--out", PathToUtf8(out), "--report", PathToUtf8(out / "report.jsonl"),
                  PathToUtf8(BuildPath(XTVIEW_TEST_CORPUS) / "packed-07.pdf")});
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::vector<Json> lines = ReadReport(out / "report.jsonl");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["result"], "converted");
  EXPECT_EQ(lines[1]["pages"], 7);
}

#ifndef _WIN32
// Ctrl-C while the first of three files is viewed. That view waits inside the stand-in, which
// writes its log to a FIFO whose buffer the test has filled, until the interrupt has been taken.
TEST_F(Report, InterruptedRunRecordsTheFilesDoneAndSaysSo) {
  const auto wait_for = [](const std::function<bool()>& done) {
    for (int i = 0; i < 60000; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  };
  // Once: the view in progress ends and the others never start. Twice: the run ends at once.
  for (const int interrupts : {1, 2}) {
    SCOPED_TRACE(std::to_string(interrupts) + " interrupts");
    const std::string name = std::to_string(interrupts);
    const fs::path stage = Stage(Ghostscript::StandIn, "stage" + name);
    const fs::path in = Folder("in" + name);
    const fs::path out = Folder("out" + name);
    const fs::path temp = Folder("temp" + name);
    for (const char* file : {"a.pdf", "b.pdf", "c.pdf"}) fs::copy_file(SamplePdf(), in / file);
    const fs::path gate = scratch_ / ("gate" + name);
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    const int fifo = open(gate.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    while (write(fifo, "x", 1) == 1) {
    }
    for (const char* variable : {"TMPDIR", "TMP", "TEMP"}) SetEnvironment(variable, temp.string());
    SetEnvironment("QUILLMEND_STANDIN_LOG", gate.string());

    const fs::path log = scratch_ / ("run" + name + ".txt");
    std::vector<std::string> arguments = {
        "-j", "1", "--out", out.string(), "--report", (out / "report.jsonl").string()};
    for (const char* file : {"a.pdf", "b.pdf", "c.pdf"}) arguments.push_back((in / file).string());
    const pid_t child = StartProgram(stage / "xtview", arguments, log);
    ASSERT_GT(child, 0);
    SetEnvironment("QUILLMEND_STANDIN_LOG", "");
    int status = 0;
    const std::shared_ptr<void> reaped = Undoing([&] {
      if (waitpid(child, &status, WNOHANG) == 0) kill(child, SIGKILL);
      waitpid(child, &status, 0);
      close(fifo);
    });

    // The first view has staged its file in the temporary folder and waits at the gate.
    ASSERT_TRUE(wait_for([&] { return !fs::is_empty(temp); })) << ReadFile(log);
    for (int i = 0; i < interrupts; ++i) {
      kill(child, SIGINT);
      ASSERT_TRUE(wait_for([&] { return Count(ReadFile(log), "xtview: interrupted") > i; }))
          << ReadFile(log);
    }
    ASSERT_TRUE(wait_for([&] {
      char drained[4096];
      while (read(fifo, drained, sizeof(drained)) > 0) {
      }
      return waitpid(child, &status, WNOHANG) == child;
    })) << ReadFile(log);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << ReadFile(log);
    const std::vector<Json> lines = ReadReport(out / "report.jsonl");
    ASSERT_EQ(lines.size(), 4u) << ReadFile(out / "report.jsonl");
    EXPECT_EQ(lines[0]["interrupted"], true);
    EXPECT_EQ(lines[0]["exit_code"], 130);
    std::map<std::string, Json> records = ByName(lines);
    EXPECT_EQ(records["b.pdf"]["result"], "not done");
    EXPECT_EQ(records["c.pdf"]["result"], "not done");
    if (interrupts == 1) {
      ExpectConverted(records["a.pdf"], in / "a.pdf", out / "a.outlined.pdf");
      EXPECT_EQ(ListFolder(out), (std::vector<std::string>{"a.outlined.pdf", "report.jsonl"}));
    } else {
      EXPECT_EQ(records["a.pdf"]["result"], "not done");
      EXPECT_EQ(ListFolder(out), std::vector<std::string>{"report.jsonl"});
    }
  }
}
#endif

}  // namespace
}  // namespace xtview_test
