#pragma once
// Input/output errors of the run-time file layer: a code and its French text.

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

// Codes of the run-time layer's table. Any other system error keeps its own number.
enum : int {
  IoFileNotFound = 2,
  IoBadFileName = 3,
  IoTooManyFiles = 4,
  IoAccessDenied = 5,
  IoReadBeyondEnd = 100,
  IoDiskFull = 101,
  IoBadNumeric = 106,
  IoDataError = 23,  // not in the table: shown as "Erreur E/S 23."
};

// The French text for a code, ending with a full stop ("Disque plein.", "Erreur E/S 42.").
std::string IoErrorText(int code);

// Maps a system error number (errno) to the run-time layer's code.
int IoCodeFromErrno(int error);

// Raised by a failing seek, write, size query, truncate or delete. It ends the operation in
// progress; the application's general error handler shows Message().
class EInOutError : public std::runtime_error {
 public:
  EInOutError(int code, std::string fileName);
  int Code() const { return ErrorCode; }
  const std::string& FileName() const { return File; }

 protected:
  EInOutError(int code, std::string fileName, const std::string& text);

 private:
  int ErrorCode;
  std::string File;
};

// An input/output error told in the words of the module that met it, which name the file ("Cannot
// create file ...", a settings file's wrong line): what() is that text, FileName() the file.
class EFileError : public EInOutError {
 public:
  EFileError(int code, std::string fileName, const std::string& text)
      : EInOutError(code, std::move(fileName), text) {}
};

// A file that could not be closed: what was written to it may not have reached it. Its text is
// "CloseFile error <code>, file=<name>". The core only throws it; the desktop program shows it
// in an error box and ends with exit code 1, the command line reports it and fails.
class ECloseError : public EInOutError {
 public:
  ECloseError(int code, std::string fileName);
};

}  // namespace platform
