#ifndef ULVERANE_BASE_WOW64_REDIRECTION_OFF_H_
#define ULVERANE_BASE_WOW64_REDIRECTION_OFF_H_

namespace ulverane {

// Switches the file-system redirection of a 32-bit process on 64-bit Windows
// off for the life of the object, so that the system folder is the native
// one, and back on when it goes away. Keep the scope to the one call that
// needs it: while redirection is off, loading a system DLL would pick the
// 64-bit copy. Does nothing where there is no redirection.
class Wow64RedirectionOff {
 public:
  Wow64RedirectionOff();
  Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
  Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;
  ~Wow64RedirectionOff();

 private:
  void* previous_ = nullptr;
  bool disabled_ = false;
};

}  // namespace ulverane

#endif  // ULVERANE_BASE_WOW64_REDIRECTION_OFF_H_
