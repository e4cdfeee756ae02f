#include <pthread.h>

#include "platform/platform.h"

namespace quillmend::os {

namespace {

pthread_mutex_t shared_state_lock = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

// A default mutex on a statically initialised object cannot fail to lock except by misuse
// (locking it twice on one thread), which the callers' scoped use rules out.
void LockSharedState() {
  pthread_mutex_lock(&shared_state_lock);
}

void UnlockSharedState() {
  pthread_mutex_unlock(&shared_state_lock);
}

}  // namespace quillmend::os
