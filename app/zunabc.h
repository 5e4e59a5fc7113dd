// The register's dictionary as the program sees it: ZUNABC::DctInit and
// DctKill, which the program runs on thread 1, and the Dictionary object
// that runs them on every other thread.
//
// Each procedure thread has its own Dictionary, made when the thread starts
// (StartThreadDictionary, from the window engine's thread start hook) and
// destroyed when it ends (EndThreadDictionary): its constructor initialises
// the thread's Access_ZUN and Relate_ZUN, except on thread 1, where the
// program does so itself after GlobalErrors is ready; its destructor kills
// them.
//
// Threads: every call works on the calling thread's own objects.
#ifndef ZUNA_APP_ZUNABC_H_
#define ZUNA_APP_ZUNABC_H_

namespace zuna::app {

namespace ZUNABC {
// ZUNABC0::DctInit, then ZUNABC0::FilesInit.
void DctInit();
// ZUNABC0::DctKill.
void DctKill();
}  // namespace ZUNABC

class Dictionary {
 public:
  // ZUNABC::DctInit unless the calling thread is thread 1.
  Dictionary();
  // ZUNABC::DctKill.
  ~Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
};

// Makes the calling thread's Dictionary (nothing when it has one).
void StartThreadDictionary();
// Destroys it, then lets go of the thread's error state and closes the
// thread's ZUN when a procedure left it open.
void EndThreadDictionary();

}  // namespace zuna::app

#endif  // ZUNA_APP_ZUNABC_H_
