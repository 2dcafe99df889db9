// The options with which the test hosts (brosk-host on Linux, brosk-drive on Windows) type
// a text into one of the dialog's boxes: one table for both, with the help brosk-host
// prints for each.
#pragma once

#include "dialog/layout.h"

namespace brosk::sim {

struct TextOption {
  const char* name;
  layout::Id box;
  const char* help;  // the line of brosk-host's usage
};

inline constexpr TextOption kTextOptions[] = {
    {"--series", layout::Id::Tipo,
     "  --series TEXT          text typed into the series box (cmbTipo)\n"},
    {"--quote", layout::Id::NumPedido,
     "  --quote TEXT           text typed into the quote number box\n"},
    {"--customer", layout::Id::CodCliente,
     "  --customer TEXT        text typed into the customer code box\n"},
    {"--point-value", layout::Id::ValorPunto,
     "  --point-value TEXT     text typed into the point value box\n"},
    {"--vat", layout::Id::Iva, "  --vat TEXT             text typed into the VAT box\n"},
};

}  // namespace brosk::sim
