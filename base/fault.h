#pragma once
// A run-time fault raised by an operand operation (a digit pair above FFh, a decimal value outside
// the signed 32-bit range, a carry out of a ModRM sum). Encoders catch it and report it in a box
// titled with the number; it never leaves the core.

#include <stdexcept>
#include <string>

namespace orvo {

enum class FaultNumber : int { Overflow = 6, TypeMismatch = 13, InvalidCall = 5 };

class Fault : public std::runtime_error {
 public:
  Fault(std::string description, FaultNumber number)
      : std::runtime_error(description), description_(std::move(description)), number_(number) {}
  const std::string& description() const { return description_; }
  int number() const { return static_cast<int>(number_); }

 private:
  std::string description_;
  FaultNumber number_;
};

[[noreturn]] inline void Raise_Overflow() { throw Fault("Overflow", FaultNumber::Overflow); }

}  // namespace orvo
