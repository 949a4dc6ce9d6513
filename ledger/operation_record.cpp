// JSON and CSV forms of an operation's record. Both are written whole, in one
// piece, so an interrupted program never leaves half a line behind.
#include "ledger/operation_record.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A cell starting with one of these a spreadsheet would run as a formula; a
// leading text mark makes it show the cell as text. The mark itself is
// marked too, so the reader can always take exactly one off.
constexpr char kFormulaStarts[] = "=+-@\t\r'";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The length of the UTF-8 sequence at text[at], 0 when it is not one
// (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF,
// or cut short).
size_t Utf8SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  char32_t c = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      AppendUtf8(out, kReplacement);
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  // A record's fields come from files and probes: JSON is always UTF-8.
  for (unsigned char c : ValidUtf8(text)) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds < 0 ? 0.0 : seconds);
  return text;
}

class JsonObject {
 public:
  void Raw(const char* name, const std::string& value) {
    out_ += out_.empty() ? "{" : ",";
    out_ += JsonString(name) + ":" + value;
  }
  void Text(const char* name, const std::optional<std::string>& value) {
    if (value) Raw(name, JsonString(*value));
  }
  void Number(const char* name, const std::optional<long long>& value) {
    if (value) Raw(name, std::to_string(*value));
  }
  std::string Close() { return out_ + "}"; }

 private:
  std::string out_;
};

template <typename T>
std::optional<long long> Widen(const std::optional<T>& value) {
  if (!value) return std::nullopt;
  return static_cast<long long>(*value);
}

std::string OrEmpty(const std::optional<std::string>& value) {
  return value ? *value : "";
}

}  // namespace

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string Hex32(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string OneLine(const std::u16string& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\n') {
      out += ' ';
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

std::string FormatJson(const OperationRecord& record) {
  JsonObject json;
  json.Text("command", record.command);
  json.Raw("probe", record.probe ? std::to_string(*record.probe) : "null");
  json.Number("result", record.result);
  json.Text("message", record.message);
  json.Raw("seconds", Seconds(record.seconds));
  json.Text("serial", record.serial);
  json.Text("next", record.next);
  json.Text("firmware_before", record.firmwareBefore);
  json.Text("file", record.file);
  if (record.imageCrc32) json.Text("image_crc32", Hex32(*record.imageCrc32));
  json.Number("units", Widen(record.units));
  json.Text("led", record.led);
  json.Number("base", Widen(record.base));
  json.Number("span", Widen(record.span));
  json.Number("blocks", Widen(record.blocks));
  json.Text("firmware_after", record.firmwareAfter);
  json.Text("job", record.job);
  if (record.alreadyThere) json.Raw("already_there", "true");
  json.Text("device", record.device);
  json.Text("serial_state", record.serialState);
  json.Number("schema", Widen(record.schema));
  return json.Close();
}

std::string CsvField(const std::string& value) {
  // A record is one line, whatever a field holds: the reader splits at line
  // ends before it looks at quotes.
  std::string text;
  text.reserve(value.size() + 1);
  if (!value.empty() &&
      std::string_view(kFormulaStarts).find(value.front()) != std::string_view::npos) {
    text += kTextMark;
  }
  for (char c : value) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else {
      text += c;
    }
  }
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JoinCsvFields(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += CsvField(fields[i]);
  }
  return line + "\r\n";
}

std::string CsvHeader() {
  return "time,station,tool_version,command,probe,firmware_before,serial,file,image_crc32,result,"
         "message,seconds,pool,firmware_after,job,seq,chain\r\n";
}

std::string FormatCsvLine(const OperationRecord& record, const LogContext& context,
                          const std::string& pool) {
  return JoinCsvFields({
      context.timeUtc,
      context.station,
      context.toolVersion,
      record.command,
      record.probe ? std::to_string(*record.probe) : "",
      OrEmpty(record.firmwareBefore),
      OrEmpty(record.serial),
      OrEmpty(record.file),
      record.imageCrc32 ? Hex32(*record.imageCrc32) : "",
      std::to_string(record.result),
      record.message,
      Seconds(record.seconds),
      pool,
      OrEmpty(record.firmwareAfter),
      record.job ? *record.job : context.job,
  });
}
