// The user at a terminal: message boxes are printed, questions and the order data
// dialog are answered by typing. The Linux stand-in for the Win32 dialog.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "platform/user_interface.h"

namespace brosk {

// How a message box is printed: "[TITLE] TEXT", with the answer to a question after an
// arrow (" -> Sí" or " -> No").
std::string messageLine(const std::u16string& text, const std::u16string& title, int style,
                        int answer);

class TerminalUser : public UserInterface {
 public:
  TerminalUser(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  // "[TITLE] TEXT"; a question asks for Sí or No and prints the answer after an arrow.
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override;
  // Shows the title and each box with its current text as the default (Enter keeps it)
  // and its hint, then offers Aceptar, Cancelar, Examinar and a new round of typing.
  // The end of the input closes the dialog through its frame.
  void showModal(FrmDatos& form) override;
  // Asks for a folder; an empty line cancels. Only an existing folder is taken.
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override;

 private:
  bool readLine(std::string& line);
  void typeFields(FrmDatos& form);

  std::istream& in_;
  std::ostream& out_;
};

}  // namespace brosk
