// The order data dialog's window and controls: captions, initial texts and positions in
// twips (1/1440 inch; 15 twips are one pixel at 96 dots per inch).
#pragma once

#include <array>

namespace brosk::layout {

inline constexpr char16_t kTitle[] = u"Datos de presupuesto";
inline constexpr int kClientWidth = 5685;
inline constexpr int kClientHeight = 3975;

enum class Kind { Label, ComboBox, TextBox, Button };

// Identifiers of the controls that take input or clicks.
enum class Id {
  None,
  Tipo,
  NumPedido,
  CodCliente,
  ValorPunto,
  Iva,
  Ruta,
  CmdRuta,
  Aceptar,
  Cancelar
};

// The six input controls, in the dialog's order.
inline constexpr std::array<Id, 6> kInputs = {Id::Tipo,       Id::NumPedido, Id::CodCliente,
                                              Id::ValorPunto, Id::Iva,       Id::Ruta};

struct Control {
  const char* name;
  Kind kind;
  Id id;
  const char16_t* text;  // caption, or initial text of an input control
  int left, top, width, height;
  int tabIndex;  // focus order of the input controls and buttons, 0 for labels
};

inline constexpr char16_t kSeparatorRule[] =
    u"________________________________________________________________________";  // 72

inline constexpr std::array<Control, 21> kControls = {{
    {"lblSerie", Kind::Label, Id::None, u"Serie:", 240, 360, 495, 255, 0},
    {"cmbTipo", Kind::ComboBox, Id::Tipo, u"9", 2640, 360, 735, 315, 1},
    {"Label4", Kind::Label, Id::None, u"(1 al 9)", 3480, 360, 615, 255, 0},
    {"lblNumPedido", Kind::Label, Id::None, u"Número de presupuesto:", 240, 840, 2295, 255, 0},
    {"txtNumPedido", Kind::TextBox, Id::NumPedido, u"9999", 2640, 840, 1335, 285, 2},
    {"Label5", Kind::Label, Id::None, u"(1 al 999999)", 4080, 840, 1455, 255, 0},
    {"lblCodCliente", Kind::Label, Id::None, u"Código de cliente:", 240, 1320, 2175, 255, 0},
    {"txtCodCliente", Kind::TextBox, Id::CodCliente, u"9999", 2640, 1320, 1335, 285, 3},
    {"Label6", Kind::Label, Id::None, u"(1 al 99999)", 4080, 1320, 1455, 255, 0},
    {"Label7", Kind::Label, Id::None, u"Valor del punto:", 240, 1800, 2295, 255, 0},
    {"txtValorPunto", Kind::TextBox, Id::ValorPunto, u"1,0", 2640, 1800, 1335, 285, 4},
    {"Label8", Kind::Label, Id::None, u"(0 a 1 - ##,##)", 4080, 1800, 1455, 255, 0},
    {"Label1", Kind::Label, Id::None, u"IVA:", 240, 2280, 1455, 255, 0},
    {"txtIVA", Kind::TextBox, Id::Iva, u"18", 2640, 2280, 735, 285, 5},
    {"lblPorcentaje", Kind::Label, Id::None, u"%", 3480, 2280, 255, 255, 0},
    {"Label3", Kind::Label, Id::None, kSeparatorRule, 0, 2520, 5655, 375, 0},
    {"Label2", Kind::Label, Id::None, u"Seleccione la ruta:", 240, 2880, 2175, 255, 0},
    {"txtRuta", Kind::TextBox, Id::Ruta, u"", 2640, 2880, 1935, 285, 6},
    {"cmdRuta", Kind::Button, Id::CmdRuta, u"Examinar", 4680, 2880, 855, 375, 7},
    {"cmdAceptar", Kind::Button, Id::Aceptar, u"Aceptar", 3120, 3480, 1095, 375, 8},
    {"cmdCancelar", Kind::Button, Id::Cancelar, u"Cancelar", 4440, 3480, 1095, 375, 9},
}};

// The focus order rises along the table, row by row: the Win32 view makes the controls in
// the table's order (each caption just before its input, for screen readers), and that
// order is also the one Tab follows.
constexpr bool focusOrderRisesAlongTheTable() {
  int last = 0;
  for (const Control& c : kControls) {
    if (c.tabIndex == 0) continue;
    if (c.tabIndex <= last) return false;
    last = c.tabIndex;
  }
  return true;
}
static_assert(focusOrderRisesAlongTheTable());

// The window control identifier of an input control or button, for the Win32 view and
// the programs that drive it in tests.
constexpr int controlId(Id id) {
  return 100 + static_cast<int>(id);
}

// A control's place in pixels at a number of dots per inch, as the Win32 view makes it
// (rounded as MulDiv rounds), so that the layout at every DPI can be checked without a
// window.
constexpr int toPixels(int twips, int dpi) {
  return (twips * dpi + 720) / 1440;
}
struct PixelRect {
  int left, top, width, height;
};
constexpr PixelRect pixelRect(const Control& c, int dpi) {
  return {toPixels(c.left, dpi), toPixels(c.top, dpi), toPixels(c.width, dpi),
          toPixels(c.height, dpi)};
}

// The series list of cmbTipo.
inline constexpr std::array<const char16_t*, 9> kSeries = {u"1", u"2", u"3", u"4", u"5",
                                                           u"6", u"7", u"8", u"9"};

}  // namespace brosk::layout
