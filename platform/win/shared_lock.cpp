#include <windows.h>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

SRWLOCK shared_state_lock = SRWLOCK_INIT;

}  // namespace

void LockSharedState() {
  AcquireSRWLockExclusive(&shared_state_lock);
}

void UnlockSharedState() {
  ReleaseSRWLockExclusive(&shared_state_lock);
}

}  // namespace quillmend::os
