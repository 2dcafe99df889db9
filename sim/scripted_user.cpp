#include "sim/scripted_user.h"

#include "automation/text.h"
#include "dialog/terminal_view.h"

namespace brosk::sim {

int ScriptedUser::messageBox(const std::u16string& text, const std::u16string& title, int style) {
  int answer = mb::kAnswerOk;
  if ((style & 0xF) == mb::kYesNo) {
    answer = mb::kAnswerYes;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
  }
  boxes.push_back({text, title, style, answer});
  if (echo) *echo << messageLine(text, title, style, answer) << "\n" << std::flush;
  return answer;
}

void ScriptedUser::showModal(FrmDatos& form) {
  using layout::Id;
  seen.push_back({form.text(Id::Tipo), form.text(Id::NumPedido), form.text(Id::CodCliente),
                  form.text(Id::ValorPunto), form.text(Id::Iva), form.text(Id::Ruta)});
  Showing script{Step::click(Id::Aceptar)};
  if (!showings.empty()) {
    script = std::move(showings.front());
    showings.pop_front();
  }
  for (const Step& step : script) {
    if (form.state() != FrmDatos::State::Visible) break;
    switch (step.kind) {
      case Step::Kind::Type:
        form.text(step.control) = step.text;
        break;
      case Step::Kind::Click:
        form.click(step.control);
        break;
      case Step::Kind::CloseFrame:
        form.closeFromFrame();
        break;
    }
  }
  if (form.state() == FrmDatos::State::Visible) form.closeFromFrame();
}

std::optional<std::u16string> ScriptedUser::browseForFolder(const std::u16string&) {
  if (folders.empty()) return std::nullopt;
  std::optional<std::u16string> folder = std::move(folders.front());
  folders.pop_front();
  return folder;
}

}  // namespace brosk::sim
