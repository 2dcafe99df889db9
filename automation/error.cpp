#include "automation/error.h"

#include <new>

#include "automation/text.h"

namespace brosk {

std::u16string standardDescription(std::int32_t number) {
  switch (number) {
    case err::kInvalidCall:
      return u"Argumento o llamada a procedimiento no válida";
    case err::kOverflow:
      return u"Desbordamiento";
    case err::kOutOfMemory:
      return u"Memoria insuficiente";
    case err::kSubscript:
      return u"Subíndice fuera del intervalo";
    case err::kDivisionByZero:
      return u"División por cero";
    case err::kTypeMismatch:
      return u"No coinciden los tipos";
    case err::kBadFileName:
      return u"Nombre o número de archivo incorrecto";
    case err::kFileNotFound:
      return u"No se ha encontrado el archivo";
    case err::kIoError:
      return u"Error de E/S de dispositivo";
    case err::kDiskFull:
      return u"Disco lleno";
    case err::kPermissionDenied:
      return u"Permiso denegado";
    case err::kPathFileAccess:
      return u"Error de acceso a la ruta o el archivo";
    case err::kPathNotFound:
      return u"No se ha encontrado la ruta de acceso";
    case err::kObjectNotSet:
      return u"Variable de objeto o bloque With no establecido";
    case err::kInvalidUseOfNull:
      return u"Uso no válido de Null";
    case err::kObjectRequired:
      return u"Se requiere un objeto";
    case err::kCannotCreate:
      return u"El componente ActiveX no puede crear el objeto";
    case err::kNoSuchMember:
      return u"El objeto no admite esta propiedad o método";
    case err::kAutomation:
      return u"Error de automatización";
    case err::kWrongArgumentCount:
      return u"Número de argumentos incorrecto o asignación de propiedad no válida";
    default:
      return u"Error definido por la aplicación o por el objeto";
  }
}

RuntimeError::RuntimeError(std::int32_t number) : RuntimeError(number, std::u16string()) {}

RuntimeError::RuntimeError(std::int32_t number, std::u16string description)
    : number_(vbNumber(number)),
      description_(std::move(description)),
      what_(std::to_string(number_) + ": ") {
  // Without a description of its own an error has the standard one of its number, as a
  // VB caller shows it; an HRESULT of another facility has that of an automation error.
  if (description_.empty())
    description_ = standardDescription(number_ < 0 ? err::kAutomation : number_);
  what_ += toUtf8(description_);
}

RuntimeError currentError() {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return RuntimeError(err::kOutOfMemory);
  } catch (const std::exception& e) {
    return RuntimeError(err::kAutomation, fromUtf8(e.what()));
  }
}

}  // namespace brosk
