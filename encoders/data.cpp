// DB, DW and DD: comma-separated numbers and quoted characters or strings, stored as bytes,
// little-endian words or little-endian doublewords.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/one_operand.h"
#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace {

struct DirectiveRow {
  std::string_view name;
  int width;  // bytes per item
  std::uint32_t max;  // the largest item, quoted in the syntax line
};

// clang-format off
constexpr std::array kDirectives{
    //           name  width  largest item
    DirectiveRow{"DB", 1,     kByteMax},
    DirectiveRow{"DW", 2,     kWordMax},
    DirectiveRow{"DD", 4,     kDwordMax},
};
// clang-format on

const DirectiveRow* Find_Directive(std::string_view name) {
  for (const DirectiveRow& row : kDirectives)
    if (row.name == name) return &row;
  return nullptr;
}

void Report_DataError(Diagnostics& sink, const DirectiveRow& d, std::string_view reason) {
  sink.Add(std::string("Error in ") + std::string(d.name) + ":" + kCR + kTab + std::string(reason) + kCR +
           kCR + "Syntax:" + kCR + kTab + std::string(d.name) + " Value(" + Range_Syntax(d.max) + ")");
}

// The immediate type whose range rules an item of the width follows.
constexpr OpType Item_Type(int width) {
  return width == 1 ? OpType::Imm8 : width == 2 ? OpType::Imm16 : OpType::Imm32;
}

// Appends a plain number (Plain_Literal) that fits the width; false leaves the item to the full
// reading, which names what is wrong.
bool Read_PlainItem(int width, std::string_view item, std::uint32_t& value) {
  detail::PlainNumber number;
  if (!detail::Plain_Literal(item, number) || !detail::Plain_Fits(number, Item_Type(width))) return false;
  value = number.value;
  return true;
}

// Appends one numeric item in the directive's width; false after a box.
bool Append_Number(const DirectiveRow& d, std::string_view item, ByteString& out, Diagnostics& sink) {
  if (item.empty()) {
    Report_DataError(sink, d, "Empty item");
    return false;
  }
  if (std::uint32_t value = 0; Read_PlainItem(d.width, item, value)) {
    Append_LE(out, value, d.width);
    return true;
  }
  // One normalization serves the number and the range test (Is_Number, then Is_Imm8 or
  // Is_Imm16): a &B literal whose normalization records its box is no number and goes no further.
  const detail::NormalLiteral literal(item, sink);
  std::string_view n = literal.view();
  detail::Strip_Minus_View(n);
  // A name or other text has no value here: taking it as 0 would store a wrong constant. "1 2"
  // would be read as 12: two values in one item.
  if (!Is_SingleTerm(item) || !detail::Number_Test(n)) {
    Report_DataError(sink, d, "Not a number: " + std::string(Trim(item)));
    return false;
  }
  ByteString bytes;
  bool fits = false;
  switch (d.width) {
    case 1:
      fits = detail::Imm_Test(n, 2, 3, kByteMax) && (bytes = To_Byte(item, sink)).size() == 1;
      break;
    case 2:
      fits = detail::Imm_Test(n, 4, 5, kWordMax) && (bytes = To_Word(item, sink)).size() == 2;
      break;
    default:
      fits = Checked_Dword(item, bytes, sink);
      break;
  }
  if (!fits) {
    Report_DataError(sink, d, "Out of range");
    return false;
  }
  out += bytes;
  return true;
}

// The first item of rest, which then keeps the text after its comma; last is set when no comma
// followed. A comma between quotes belongs to the item.
std::string_view Next_DataItem(std::string_view& rest, bool& last) {
  bool quoted = false;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '"') {
      quoted = !quoted;
    } else if (rest[i] == ',' && !quoted) {
      const std::string_view item = rest.substr(0, i);
      rest.remove_prefix(i + 1);
      return item;
    }
  }
  last = true;
  return rest;
}

}  // namespace

std::vector<std::string_view> Split_DataList(std::string_view text) {
  std::vector<std::string_view> items;
  for (bool last = false; !last;) items.push_back(Next_DataItem(text, last));
  return items;
}

ByteString Assemble_Data(std::string_view key, std::string_view operand, Diagnostics& sink) {
  const std::string name = Trim_Upper(key);
  const DirectiveRow* d = Find_Directive(name);
  if (!d) return {};
  return Guard_Faults(sink, name, operand, {}, [&]() -> ByteString {
    ByteString out;
    // Item by item, without a list: most data lines are short.
    std::string_view rest = operand;
    for (bool last = false; !last;) {
      const std::string_view item = Trim(Next_DataItem(rest, last));
      if (!item.empty() && item.front() == '"' && item.back() == '"') {
        // A quoted character or string: every character between the quotes is one item whose
        // value is its code (bytes 80h-FFh are the code page's characters, unsigned).
        if (item.size() < 3) {
          Report_DataError(sink, *d, "Empty character item");
          return {};
        }
        for (const char c : item.substr(1, item.size() - 2))
          Append_LE(out, static_cast<unsigned char>(c), d->width);
        continue;
      }
      if (!Append_Number(*d, item, out, sink)) return {};
    }
    return out;
  });
}

bool Assemble_Data_Plain(std::string_view key, std::string_view operand, LineBytes& out) {
  if (key.size() != 2 || key[0] != 'D') return false;
  const int width = key[1] == 'B' ? 1 : key[1] == 'W' ? 2 : key[1] == 'D' ? 4 : 0;
  if (width == 0 || operand.empty()) return false;
  // Item by item; a declined line's items are taken back by the caller.
  for (std::size_t start = 0;;) {
    std::size_t comma = start;
    while (comma < operand.size() && operand[comma] != ',') ++comma;
    std::uint32_t value = 0;
    if (!Read_PlainItem(width, Trim(operand.substr(start, comma - start)), value)) return false;
    out.Put_LE(value, width);
    if (comma == operand.size()) return true;
    start = comma + 1;
  }
}

ByteString Assemble_DataLine(std::string_view operand, Diagnostics& sink) {
  const std::string_view t = Trim(operand);
  const std::size_t cut = t.size() < 2 ? t.size() : 2;
  return Assemble_Data(t.substr(0, cut), Trim(t.substr(cut)), sink);
}

}  // namespace orvo
