#include "host_api.h"

#include "platform/platform.h"

namespace quillmend {

HostServices HostApi = {};

bool BindHostApi() {
  // The host is the process's main program; a service that some other loaded library happens
  // to export is not the host's and must not be taken for it.
  HostApi.GetSize = reinterpret_cast<XwfGetSize>(os::FindMainProgramSymbol("XWF_GetSize"));
  HostApi.Read = reinterpret_cast<XwfRead>(os::FindMainProgramSymbol("XWF_Read"));
  HostApi.OutputMessage =
      reinterpret_cast<XwfOutputMessage>(os::FindMainProgramSymbol("XWF_OutputMessage"));
  return HostApiIsBound();
}

bool HostApiIsBound() {
  return HostApi.GetSize != nullptr && HostApi.Read != nullptr && HostApi.OutputMessage != nullptr;
}

}  // namespace quillmend
