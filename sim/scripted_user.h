// A user who follows a script: answers questions, types into the dialog, clicks its
// buttons, picks folders in the browser. brosk-host plays the user with it when the
// answers come from its options; the tests use it to drive the dialog.
#pragma once

#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "dialog/frm_datos.h"
#include "platform/user_interface.h"

namespace brosk::sim {

class ScriptedUser : public UserInterface {
 public:
  struct Box {
    std::u16string text;
    std::u16string title;
    int style = 0;
    int answer = 0;
  };
  // One action in the dialog.
  struct Step {
    enum class Kind { Type, Click, CloseFrame };
    Kind kind;
    layout::Id control = layout::Id::None;
    std::u16string text;
    static Step type(layout::Id c, std::u16string t) { return {Kind::Type, c, std::move(t)}; }
    static Step click(layout::Id c) { return {Kind::Click, c, {}}; }
    static Step close() { return {Kind::CloseFrame, layout::Id::None, {}}; }
  };
  using Showing = std::vector<Step>;
  // The input texts the dialog showed when it opened.
  struct Seen {
    std::u16string tipo, numPedido, codCliente, valorPunto, iva, ruta;
  };

  // What the user does at each showing of the dialog, in turn. With no script left the
  // user presses Aceptar. When a script ends with the dialog still open (a number that
  // did not read, say), the user closes it through the frame.
  std::deque<Showing> showings;
  // Answers to the Yes/No questions, in turn; with none left the answer is Yes.
  std::deque<int> answers;
  // The browser's results, one per Examinar; no value is a cancelled browser. With none
  // left the browser is cancelled.
  std::deque<std::optional<std::u16string>> folders;

  // What happened.
  std::vector<Box> boxes;
  std::vector<Seen> seen;
  // When set, each message box is also written here as "[TITLE] TEXT" (UTF-8).
  std::ostream* echo = nullptr;

  int messageBox(const std::u16string& text, const std::u16string& title, int style) override;
  void showModal(FrmDatos& form) override;
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override;
};

}  // namespace brosk::sim
