#include "pdf_pages.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <set>
#include <vector>

namespace quillmend::pdf {

namespace {

// A document as qpdf reads it, without a word on the console: its warnings are the caller's to
// weigh.
std::unique_ptr<QPDF> Open(const char* path) {
  auto document = std::make_unique<QPDF>();
  document->setSuppressWarnings(true);
  document->processFile(path);
  return document;
}

// The pages of a document that has a page tree.
bool CountOpened(QPDF& document, std::uint64_t* count) {
  if (!document.getRoot().getKey("/Pages").isDictionary()) return false;
  *count = document.getAllPages().size();
  return true;
}

// Where a link leads inside the document: its /Dest, or the destination of its GoTo action. A
// null handle for a link that leads elsewhere (a web address, another file) or nowhere.
QPDFObjectHandle InternalDestination(QPDFObjectHandle link) {
  if (link.hasKey("/Dest")) return link.getKey("/Dest");
  QPDFObjectHandle action = link.getKey("/A");
  if (!action.isDictionary() || !action.getKey("/S").isNameAndEquals("/GoTo")) {
    return QPDFObjectHandle::newNull();
  }
  QPDFObjectHandle destination = action.getKey("/D");
  // A GoTo without a destination is as broken as one to a missing page.
  return destination.isNull() ? QPDFObjectHandle::newBool(false) : destination;
}

// True for a destination that names a page of the document: an explicit one, whose first
// element is that page. A named destination is not, for the joined document has no names.
bool LeadsToPage(QPDFObjectHandle destination, const std::set<QPDFObjGen>& pages) {
  if (!destination.isArray() || destination.getArrayNItems() < 1) return false;
  QPDFObjectHandle page = destination.getArrayItem(0);
  return page.isIndirect() && pages.count(page.getObjGen()) != 0;
}

// Each range was converted apart from the others, so a link to a page outside its range lost
// its destination there; such links go, and so does any other link into the document that no
// longer reaches one of its pages.
void RemoveLinksToNowhere(QPDF& document) {
  const std::vector<QPDFObjectHandle>& all = document.getAllPages();
  std::set<QPDFObjGen> pages;
  for (QPDFObjectHandle page : all) pages.insert(page.getObjGen());
  for (QPDFObjectHandle page : all) {
    QPDFObjectHandle annotations = page.getKey("/Annots");
    if (!annotations.isArray()) continue;
    QPDFObjectHandle kept = QPDFObjectHandle::newArray();
    bool removed = false;
    for (QPDFObjectHandle annotation : annotations.getArrayAsVector()) {
      if (annotation.isDictionary() && annotation.getKey("/Subtype").isNameAndEquals("/Link")) {
        QPDFObjectHandle destination = InternalDestination(annotation);
        if (!destination.isNull() && !LeadsToPage(destination, pages)) {
          removed = true;
          continue;
        }
      }
      kept.appendItem(annotation);
    }
    if (removed) page.replaceKey("/Annots", kept);
  }
}

// Adds the pages of `part` to `joined`, in order, with their annotations. qpdf copies a link's
// destination only when its page was copied before; so the pages go first, then their
// annotations, and links among the part's pages keep their destinations. Answers the pages added.
std::size_t AddPart(QPDF& part, QPDF& joined) {
  QPDFPageDocumentHelper joined_pages(joined);
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(part).getAllPages();
  std::vector<QPDFObjectHandle> annotations;
  for (QPDFPageObjectHelper& page : pages) {
    QPDFObjectHandle object = page.getObjectHandle();
    QPDFObjectHandle page_annotations = object.getKey("/Annots");
    if (page_annotations.isArray() && !page_annotations.isIndirect()) {
      page_annotations = part.makeIndirectObject(page_annotations);
    }
    annotations.push_back(page_annotations);
    // The part is read-only on disk: this changes its copy in memory.
    object.removeKey("/Annots");
    joined_pages.addPage(page, false);
  }
  std::vector<QPDFPageObjectHelper> all = joined_pages.getAllPages();
  const std::size_t first = all.size() - pages.size();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (!annotations[i].isArray()) continue;
    all[first + i].getObjectHandle().replaceKey("/Annots",
                                                joined.copyForeignObject(annotations[i]));
  }
  return pages.size();
}

// True when the document at `path` reads without a fault and holds `expected` pages.
bool HoldsCleanly(const char* path, std::uint64_t expected) {
  const std::unique_ptr<QPDF> document = Open(path);
  const std::size_t pages = document->getAllPages().size();
  return !document->anyWarnings() && pages == expected;
}

bool Join(const char* const* parts, int part_count, std::uint64_t expected_pages,
          const char* output) {
  QPDF joined;
  joined.emptyPDF();
  // Copied pages read their streams from the part's file until the result is written.
  std::vector<std::unique_ptr<QPDF>> opened;
  std::uint64_t total = 0;
  for (int i = 0; i < part_count; ++i) {
    opened.push_back(Open(parts[i]));
    QPDF& part = *opened.back();
    total += AddPart(part, joined);
    QPDFObjectHandle information = part.getTrailer().getKey("/Info");
    if (i == 0 && information.isDictionary() && information.isIndirect()) {
      joined.getTrailer().replaceKey("/Info", joined.copyForeignObject(information));
    }
  }
  if (total != expected_pages) return false;
  RemoveLinksToNowhere(joined);
  QPDFWriter writer(joined, output);
  // The empty document it starts from says 1.3; the parts say what pdfwrite wrote.
  writer.setMinimumPDFVersion("1.5");
  writer.setDeterministicID(true);
  writer.write();
  opened.clear();
  return HoldsCleanly(output, expected_pages);
}

}  // namespace

bool CountPages(const char* path, std::uint64_t* count) noexcept {
  try {
    return CountOpened(*Open(path), count);
  } catch (...) {
    return false;
  }
}

bool CountPagesInMemory(const void* bytes, std::size_t size, std::uint64_t* count) noexcept {
  try {
    QPDF document;
    document.setSuppressWarnings(true);
    document.processMemoryFile("document in memory", static_cast<const char*>(bytes), size);
    return CountOpened(document, count);
  } catch (...) {
    return false;
  }
}

bool JoinParts(const char* const* parts, int part_count, std::uint64_t expected_pages,
               const char* output) noexcept {
  try {
    return part_count > 0 && Join(parts, part_count, expected_pages, output);
  } catch (...) {
    return false;
  }
}

}  // namespace quillmend::pdf
