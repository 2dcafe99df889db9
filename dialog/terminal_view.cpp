#include "dialog/terminal_view.h"

#include <filesystem>
#include <string>

#include "automation/text.h"
#include "dialog/frm_datos.h"

namespace brosk {
namespace {

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

}  // namespace

std::string messageLine(const std::u16string& text, const std::u16string& title, int style,
                        int answer) {
  std::string line = "[" + toUtf8(title) + "] " + toUtf8(text);
  if ((style & 0xF) == mb::kYesNo) line += answer == mb::kAnswerYes ? " -> Sí" : " -> No";
  return line;
}

bool TerminalUser::readLine(std::string& line) {
  out_ << std::flush;
  if (!std::getline(in_, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

int TerminalUser::messageBox(const std::u16string& text, const std::u16string& title, int style) {
  if ((style & 0xF) != mb::kYesNo) {
    out_ << messageLine(text, title, style, mb::kAnswerOk) << "\n";
    return mb::kAnswerOk;
  }
  out_ << "[" << toUtf8(title) << "] " << toUtf8(text) << "\n";
  while (true) {
    out_ << "¿Sí o no? [S/n] ";
    std::string line;
    const bool got = readLine(line);
    const std::string answer = trimmed(line);
    int result = 0;
    if (!got || answer.empty() || answer == "s" || answer == "S" || answer == "sí" ||
        answer == "Sí" || answer == "si") {
      result = mb::kAnswerYes;
    } else if (answer == "n" || answer == "N" || answer == "no" || answer == "No") {
      result = mb::kAnswerNo;
    }
    if (result != 0) {
      out_ << (result == mb::kAnswerYes ? " -> Sí" : " -> No") << "\n";
      return result;
    }
  }
}

void TerminalUser::typeFields(FrmDatos& form) {
  const auto& controls = layout::kControls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const layout::Control& c = controls[i];
    if (c.kind != layout::Kind::ComboBox && c.kind != layout::Kind::TextBox) continue;
    if (c.id == layout::Id::Ruta) continue;  // the folder comes from Examinar
    const char16_t* label = i > 0 ? controls[i - 1].text : u"";
    const bool hinted = i + 1 < controls.size() && controls[i + 1].kind == layout::Kind::Label;
    std::u16string& value = form.text(c.id);
    out_ << "  " << toUtf8(label) << " [" << toUtf8(value) << "]";
    if (hinted) out_ << " " << toUtf8(controls[i + 1].text);
    out_ << " ";
    std::string line;
    if (!readLine(line)) {
      form.closeFromFrame();
      return;
    }
    if (!line.empty()) value = fromUtf8(line);
  }
}

void TerminalUser::showModal(FrmDatos& form) {
  out_ << "\n" << toUtf8(layout::kTitle) << "\n";
  typeFields(form);
  while (form.state() == FrmDatos::State::Visible) {
    // The folder box shows the folder and takes no typing, as in the window: Examinar is
    // the one way to choose another.
    out_ << "  Seleccione la ruta: " << toUtf8(form.text(layout::Id::Ruta))
         << " (se elige con Examinar)\n"
         << "[a] Aceptar  [c] Cancelar  [e] Examinar  [r] Rellenar de nuevo: ";
    std::string line;
    if (!readLine(line)) {
      form.closeFromFrame();
      break;
    }
    const std::string choice = trimmed(line);
    if (choice == "a") {
      form.click(layout::Id::Aceptar);
    } else if (choice == "c") {
      form.click(layout::Id::Cancelar);
    } else if (choice == "e") {
      form.click(layout::Id::CmdRuta);
    } else if (choice == "r") {
      typeFields(form);
    }
  }
}

std::optional<std::u16string> TerminalUser::browseForFolder(const std::u16string& instruction) {
  while (true) {
    out_ << toUtf8(instruction) << " (vacío para cancelar): ";
    std::string line;
    if (!readLine(line) || trimmed(line).empty()) return std::nullopt;
    std::string folder = trimmed(line);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
      return fromUtf8(std::filesystem::absolute(folder, error).lexically_normal().string());
    }
    out_ << "No existe la carpeta «" << folder << "».\n";
  }
}

}  // namespace brosk
