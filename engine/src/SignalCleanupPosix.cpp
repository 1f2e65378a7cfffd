#include <signal.h>

#include "engine/SignalCleanup.h"

namespace corvane {

namespace {

// Every signal whose default action ends the program and that a program may
// catch. SIGXFSZ is not among them: it is ignored instead.
constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
};

// Async-signal-safe: unlink and sigaction only, then the signal is raised
// again. It stays blocked while this runs, so it ends the program as soon as
// the handler returns, with the default action restored by SA_RESETHAND.
extern "C" void RemoveAndEnd(int signalNumber) {
  RemoveUnfinishedOutputs();
  ::raise(signalNumber);
}

}  // namespace

void InstallSignalCleanup() {
  // A write past the file-size limit then fails with EFBIG like any other
  // write error, instead of ending the program.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);

  auto install = [](int signalNumber) {
    struct sigaction previous {};
    // A signal ignored at start (nohup) stays ignored; one handled already
    // (by a sanitizer, say) keeps its handler.
    if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL ||
        (previous.sa_flags & SA_SIGINFO) != 0) {
      return;
    }
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigfillset(&action.sa_mask);  // no second signal interrupts the cleanup
    ::sigaction(signalNumber, &action, nullptr);
  };
  for (const int signalNumber : kEndingSignals) install(signalNumber);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) install(signalNumber);
#endif
}

}  // namespace corvane
