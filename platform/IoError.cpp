#include "platform/IoError.h"

#include <cerrno>

namespace platform {

std::string IoErrorText(int code) {
  std::string text;
  switch (code) {
    case IoFileNotFound:
      text = "Fichier introuvable";
      break;
    case IoBadFileName:
      text = "Nom de fichier incorrect";
      break;
    case IoTooManyFiles:
      text = "Trop de fichiers ouverts";
      break;
    case IoAccessDenied:
      text = "Accès au fichier refusé";
      break;
    case IoReadBeyondEnd:
      text = "Lecture au-delà de la fin de fichier";
      break;
    case IoDiskFull:
      text = "Disque plein";
      break;
    case IoBadNumeric:
      text = "Saisie numérique incorrecte";
      break;
    default:
      text = "Erreur E/S " + std::to_string(code);
      break;
  }
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

int IoCodeFromErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case ENOENT:
      return IoFileNotFound;
    case ENAMETOOLONG:
    case ENOTDIR:
    case EINVAL:
      return IoBadFileName;
    case EMFILE:
    case ENFILE:
      return IoTooManyFiles;
    case EACCES:
    case EBADF:  // a write through a handle opened read-only
    case EISDIR:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return IoAccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return IoDiskFull;
    // A failing medium (a worn card, a reader pulled out) is a data error; its errno, 5,
    // would read as "access denied" in the table above.
    case EIO:
      return IoDataError;
    default:
      return error;
  }
}

EInOutError::EInOutError(int code, std::string fileName)
    : std::runtime_error(IoErrorText(code)), ErrorCode(code), File(std::move(fileName)) {}

EInOutError::EInOutError(int code, std::string fileName, const std::string& text)
    : std::runtime_error(text), ErrorCode(code), File(std::move(fileName)) {}

ECloseError::ECloseError(int code, std::string fileName)
    : EInOutError(code, fileName,
                  "CloseFile error " + std::to_string(code) + ", file=" + fileName) {}

}  // namespace platform
