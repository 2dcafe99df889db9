// Run-time errors as a VB-style caller sees them: a number and a description.
// Every failure inside the plug-in travels as a RuntimeError; the COM shell turns it
// into an HRESULT with error information and the order builder into its message box.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace brosk {

namespace err {
inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscript = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kIoError = 57;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kObjectRequired = 424;
inline constexpr std::int32_t kCannotCreate = 429;
inline constexpr std::int32_t kNoSuchMember = 438;
inline constexpr std::int32_t kAutomation = 440;
inline constexpr std::int32_t kArgumentNotOptional = 449;
inline constexpr std::int32_t kWrongArgumentCount = 450;
}  // namespace err

// Whether a code is an HRESULT of the VB facility, 0x800A0000 + N: run-time error N as a
// VB component or a host returns it.
constexpr bool isVbFacility(std::int32_t code) {
  return (static_cast<std::uint32_t>(code) & 0xFFFF0000u) == 0x800A0000u;
}

// The number a VB caller reads from a code: N from 0x800A0000 + N, the code itself
// otherwise. A bare 0x800A0000 names no error, and is read as the automation error 440,
// as a failure without a number is everywhere else.
constexpr std::int32_t vbNumber(std::int32_t code) {
  if (!isVbFacility(code)) return code;
  const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(code) & 0xFFFFu);
  return number == 0 ? err::kAutomation : number;
}

// The Spanish description a VB run-time shows for a number; "Error definido por la
// aplicación o por el objeto" for numbers without one of their own.
std::u16string standardDescription(std::int32_t number);

class RuntimeError : public std::exception {
 public:
  // An error with the standard description of its number.
  explicit RuntimeError(std::int32_t number);
  // An error as a VB caller sees it: an HRESULT 0x800A0000 + N is error N, and an empty
  // description is the standard one of the number.
  RuntimeError(std::int32_t number, std::u16string description);

  std::int32_t number() const noexcept { return number_; }
  const std::u16string& description() const noexcept { return description_; }
  // "N: description" in UTF-8, for logs and test failures.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  std::u16string description_;
  std::string what_;
};

// The run-time error that the exception being handled stands for: a RuntimeError as
// it is, an allocation failure as error 7, any other exception as error 440 with its
// message. Call only inside a catch block. This is the core's own translation, for the
// order builder's message; the COM boundary (win/boundary.h) turns the same exceptions
// into an HRESULT with error information instead, without allocating for error 7.
RuntimeError currentError();

}  // namespace brosk
