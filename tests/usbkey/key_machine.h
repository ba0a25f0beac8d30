#pragma once

// A PC for the key report's tests: natively a scratch emulated PC whose program folder gets
// the stand-in vendor library (a shared object) under a vendor's library name; in the Windows
// builds the real system, with the stand-in DLL copied beside the test program at build time.
// describe() writes the stand-in's description of plugged-in keys; the descriptions go with
// the object.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

class KeyMachine {
 public:
  KeyMachine();
  KeyMachine(const KeyMachine&) = delete;
  KeyMachine& operator=(const KeyMachine&) = delete;
  ~KeyMachine();

  // Puts the stand-in library into the program's folder as libraryName ("BHDLL.dll").
  void install(std::string_view libraryName);
  // Writes the description the library libraryName reads.
  void describe(std::string_view libraryName, std::string_view text);
  // The program's folder (Windows path).
  [[nodiscard]] std::string programFolder() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::vector<std::string> descriptions_;
};

}  // namespace corvane::testing
