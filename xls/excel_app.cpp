#include "xls/excel_app.h"

#include <memory>
#include <string_view>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/text.h"
#include "xls/typed_text.h"
#include "xls/workbook.h"

namespace brosk::xls {
namespace {

const NumberFormat kInvariant{u".", u""};

void expectArgs(std::span<const Arg> args, std::size_t count) {
  if (args.size() != count) throw RuntimeError(err::kWrongArgumentCount);
}

[[noreturn]] void noSuchMember() {
  throw RuntimeError(err::kNoSuchMember);
}

// A number argument that must be whole (a row, a column, an index, a code).
std::int32_t wholeNumber(const Arg& a) {
  switch (a.value().kind()) {
    case VarKind::Integer:
    case VarKind::Long:
    case VarKind::Double:
    case VarKind::Text:
      return toLong(a.value(), kInvariant);
    default:
      throw RuntimeError(err::kTypeMismatch);
  }
}

class Application;

class Worksheet : public Object {
 public:
  Sheet sheet;

  // A text as typed into the cell: a whole number or a month-first date where nothing is
  // lost, the text itself otherwise.
  void putText(int row, int column, const std::u16string& text) {
    const TypedText typed = typedText(text);
    switch (typed.kind) {
      case TypedText::Kind::Number:
        sheet.setNumber(row, column, typed.number);
        break;
      case TypedText::Kind::Date:
        sheet.setDate(row, column, typed.number);
        break;
      case TypedText::Kind::Text:
        sheet.setText(row, column, text);
        break;
    }
  }

  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    if (!equalsIgnoringAsciiCase(name, u"Cells") || kind != CallKind::PropertyPut) noSuchMember();
    expectArgs(args, 3);
    const std::int32_t row = wholeNumber(args[0]);
    const std::int32_t column = wholeNumber(args[1]);
    const Variant& value = args[2].value();
    switch (value.kind()) {
      case VarKind::Text:
        putText(row, column, value.asText());
        break;
      case VarKind::Double:
        sheet.setNumber(row, column, value.asDouble());
        break;
      case VarKind::Integer:
        sheet.setNumber(row, column, value.asInteger());
        break;
      case VarKind::Long:
        sheet.setNumber(row, column, value.asLong());
        break;
      default:
        throw RuntimeError(err::kTypeMismatch,
                           u"Una celda admite texto o un número, no un valor de tipo " +
                               fromUtf8(kindName(value.kind())));
    }
    return {};
  }
};

class Workbook : public Object {
 public:
  explicit Workbook(std::shared_ptr<Application> app)
      : app_(std::move(app)), sheet_(std::make_shared<Worksheet>()) {}

  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override;

 private:
  void checkOpen() const {
    if (closed_) throw RuntimeError(err::kAutomation, u"El libro ya está cerrado");
  }

  std::shared_ptr<Application> app_;
  std::shared_ptr<Worksheet> sheet_;
  bool closed_ = false;
};

class Workbooks : public Object {
 public:
  explicit Workbooks(std::shared_ptr<Application> app) : app_(std::move(app)) {}
  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    if (!equalsIgnoringAsciiCase(name, u"Add") || kind == CallKind::PropertyPut) noSuchMember();
    expectArgs(args, 0);
    return Variant::object(std::make_shared<Workbook>(app_));
  }

 private:
  std::shared_ptr<Application> app_;
};

class Application : public Object, public std::enable_shared_from_this<Application> {
 public:
  explicit Application(FileSystem& files) : files(files) {}
  FileSystem& files;
  Writer writer;  // the workbooks of one application share its buffers

  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    if (kind == CallKind::PropertyPut) noSuchMember();
    if (equalsIgnoringAsciiCase(name, u"Workbooks")) {
      expectArgs(args, 0);
      return Variant::object(std::make_shared<Workbooks>(shared_from_this()));
    }
    if (equalsIgnoringAsciiCase(name, u"Version")) {
      expectArgs(args, 0);
      return Variant::text(kExcelVersion);
    }
    if (equalsIgnoringAsciiCase(name, u"Quit")) {
      expectArgs(args, 0);
      return {};
    }
    noSuchMember();
  }
};

Variant Workbook::call(std::u16string_view name, CallKind kind, std::span<const Arg> args) {
  if (kind == CallKind::PropertyPut) noSuchMember();
  if (equalsIgnoringAsciiCase(name, u"Worksheets")) {
    checkOpen();
    expectArgs(args, 1);
    const Variant& index = args[0].value();
    const bool byName = index.kind() == VarKind::Text && index.asText() == kSheetName;
    if (!byName && wholeNumber(args[0]) != 1) throw RuntimeError(err::kSubscript);
    return Variant::object(sheet_);
  }
  if (equalsIgnoringAsciiCase(name, u"Application")) {
    expectArgs(args, 0);
    return Variant::object(app_);
  }
  if (equalsIgnoringAsciiCase(name, u"SaveAs")) {
    checkOpen();
    expectArgs(args, 2);
    if (args[0].value().kind() != VarKind::Text) throw RuntimeError(err::kTypeMismatch);
    const std::int32_t format = wholeNumber(args[1]);
    if (format != 56 && format != -4143) {
      throw RuntimeError(err::kInvalidCall, u"Formato de archivo no admitido: " + decimal(format));
    }
    saveXls(app_->writer, app_->files, args[0].value().asText(), sheet_->sheet);
    return {};
  }
  if (equalsIgnoringAsciiCase(name, u"Close")) {
    expectArgs(args, 0);
    closed_ = true;
    return {};
  }
  noSuchMember();
}

}  // namespace

ObjectRef newExcelApplication(FileSystem& files) {
  return std::make_shared<Application>(files);
}

void registerExcel(ObjectFactory& factory, FileSystem& files) {
  factory.add(kExcelProgId, [&files] { return newExcelApplication(files); });
}

}  // namespace brosk::xls
