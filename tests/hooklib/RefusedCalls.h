// Calls that the hook library makes into other libraries, refused on demand: the test program
// defines them and exports them, so the library's calls reach these first.
#pragma once

#include <atomic>

namespace lyt::test {

// pthread_create fails with EAGAIN, as it does when no more threads can be made.
extern std::atomic<bool> refuseThreads;
// The RECORD extension's first reply never comes, as when the server drops the data connection.
extern std::atomic<bool> refuseRecording;

} // namespace lyt::test
