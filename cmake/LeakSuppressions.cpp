// The leak reports the sanitizer build ignores, built into each program and
// test binary through the sanitizer's default-suppressions hook, so that no
// environment variable or file is needed for a clean result.
//
// The system's font configuration library keeps memory for the life of the
// process (reached through Qt's font database), and so does the message bus
// library Qt's X11 platform connects with; neither is memory of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n";
}
