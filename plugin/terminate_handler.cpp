// The C++ run-time's default terminate handler prints the demangled type of an
// uncaught exception before it aborts, which links its whole demangler (about
// 42 KiB) into each plugin file. No one reads the standard error of a file
// manager: this one aborts as that one does, without the name.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
