#include "view_contract.h"

#include "test_host.h"

namespace quillmend::test {

const char* BrokenAnswerRule(const void* buffer, std::int64_t size) {
  if (size < -2) return "result size -1, -2 or a length";
  if ((buffer != nullptr) != (size >= 0)) return "a buffer exactly when the size is not negative";
  return nullptr;
}

const char* BrokenReleaseRule(const host_emulator::Plugin& plugin, void* buffer) {
  const int expected = buffer != nullptr ? 1 : 0;
  return plugin.ReleaseMem(buffer) == expected ? nullptr : "XT_ReleaseMem's answer";
}

const char* BrokenCallsRule(void* item) {
  const ItemCalls calls = CallsOn(item);
  for (const ReadCall& read : calls.reads) {
    if (read.offset != 0) return "the item is read only from its start";
  }
  const std::size_t on_item = calls.get_size_options.size() + calls.reads.size();
  if (static_cast<std::size_t>(HostCallCount()) != on_item + AllHostMessages().size()) {
    return "host calls only for the item the plug-in was given";
  }
  return nullptr;
}

}  // namespace quillmend::test
