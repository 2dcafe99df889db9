// The order state: the values the link command, the dialog, the order builder and the
// two workbook writers share while a link runs. One copy per thread (the apartment of
// the objects created on it), made on first use and never cleared; it goes when the
// thread ends or the library unloads.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "automation/error.h"
#include "automation/object.h"

namespace brosk {

// One finish heading of the scene and the option chosen under it.
struct tAcabado {
  std::u16string strAcabado;
  std::u16string strEleccion;
};

// One order line. Line 1 is the header line, the others one accepted scene object each.
struct tLinea {
  std::u16string tip;
  std::u16string num;
  std::int16_t pos = 0;
  std::u16string art;
  std::u16string des;
  std::int32_t cantidad = 0;
  double precio = 0;
  double importe = 0;
  std::u16string col12;
  std::u16string col19;
};

// A fixed array indexed from Lower to Upper, as a VB array declared (Lower To Upper).
// An index outside the bounds is error 9 and touches nothing.
template <class T, int Lower, int Upper>
class BoundedArray {
 public:
  static constexpr int kLower = Lower;
  static constexpr int kUpper = Upper;

  T& operator()(long index) { return items_[slot(index)]; }
  const T& operator()(long index) const { return items_[slot(index)]; }

 private:
  static std::size_t slot(long index) {
    if (index < Lower || index > Upper) throw RuntimeError(err::kSubscript);
    return static_cast<std::size_t>(index - Lower);
  }
  std::array<T, Upper - Lower + 1> items_{};
};

struct Constantes {
  std::u16string strRuta;        // destination base folder
  ObjectRef objAppli;            // KDSDK.Appli of the running link command
  ObjectRef objScene;            // KDSDK.Scene of the running link command
  std::int32_t lSesion = 0;      // host session of the running link command
  double dblValorPunto = 0;      // point value: the factor applied to every price
  std::u16string strSerie;       // series
  std::u16string strNumPedido;   // quote number
  std::u16string strCliente;     // customer company, read from the scene
  std::u16string strFecha;       // date of the link, month, day and year
  std::u16string strCodCliente;  // customer code
  double dblSuma = 0;            // sum of the line amounts
  double dblBase = 0;            // taxable base
  double dblIVA = 0;             // VAT percentage
  double dblCuotaIVA = 0;        // VAT amount
  double dblTotal = 0;           // base plus VAT amount
  BoundedArray<tAcabado, 1, 7> acabados;
  BoundedArray<tLinea, 1, 200> lineas;
};

// This thread's order state.
Constantes& constantes();

// Releases the host objects this thread's order state still holds (a failed command
// leaves them there until the next one). For when no Plugin of the apartment is left to
// run that next command: they are released on their own thread, not at its end.
void releaseHostObjects();

}  // namespace brosk
