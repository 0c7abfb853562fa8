#include "service/notices/mail_message.h"

#include <sodium.h>

#include "service/time_text.h"

namespace mailwarden::notices {
namespace {

constexpr std::size_t kWordBytes = 45;  // of text per encoded word: 60 characters of base64

std::string Base64(std::string_view bytes) {
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.size() - 1);  // its NUL
  return out;
}

// Line breaks as CRLF, whatever the text had.
std::string CrLf(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

std::string HeaderText(std::string_view text) {
  bool plain = text.size() < 900;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e) plain = false;
  }
  if (plain && text.find("=?") == std::string_view::npos) return std::string(text);
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = std::min(text.size(), at + kWordBytes);
    // Not inside a UTF-8 sequence.
    while (end < text.size() && end > at + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    std::string word(text.substr(at, end - at));
    for (char& c : word) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(word) + "?=";
    at = end;
  }
  return out;
}

std::string QuotedPrintable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string lines = CrLf(text);
  std::string out;
  std::size_t column = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const char c = lines[i];
    if (c == '\r' && i + 1 < lines.size() && lines[i + 1] == '\n') {
      out += "\r\n";
      ++i;
      column = 0;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    const bool atLineEnd = i + 1 == lines.size() || lines[i + 1] == '\r';
    std::string piece;
    // A line's first dot is encoded too, so no relay takes the line for the end of the data.
    if ((byte >= 33 && byte <= 126 && c != '=' && !(c == '.' && column == 0)) || (c == ' ' && !atLineEnd)) {
      piece = std::string(1, c);
    } else {
      piece = {'=', kHex[byte >> 4], kHex[byte & 15]};
    }
    if (column + piece.size() > 75) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
  return out;
}

bool MailableAddress(std::string_view address) {
  static constexpr std::string_view kSpecials = "<>()[]\\,;:\"";
  if (address.empty() || address.size() > 254) return false;
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f || kSpecials.find(c) != std::string_view::npos) return false;
  }
  const auto at = address.find('@');
  return at != std::string_view::npos && at > 0 && at + 1 < address.size() &&
         address.find('@', at + 1) == std::string_view::npos;
}

std::string MailDate(store::Time time) {
  return FormatUtc(time, "%a, %d %b %Y %H:%M:%S +0000");
}

std::string RenderMail(const MailMessage& mail) {
  unsigned char random[12];
  randombytes_buf(random, sizeof random);
  char hex[sizeof random * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, random, sizeof random);
  const std::string boundary = std::string("=_mailwarden_") + hex;
  std::string out;
  out += "Date: " + MailDate(mail.date) + "\r\n";
  out += "From: " + mail.from + "\r\n";
  out += "To: " + mail.to + "\r\n";
  out += "Subject: " + HeaderText(mail.subject) + "\r\n";
  out += "Message-ID: <" + mail.messageId + ">\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Auto-Submitted: auto-generated\r\n";
  out += "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n";
  out += "\r\n";
  out += "--" + boundary + "\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
  out += QuotedPrintable(mail.text) + "\r\n";
  out += "--" + boundary + "\r\n";
  out += "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
  out += QuotedPrintable(mail.html) + "\r\n";
  out += "--" + boundary + "--\r\n";
  return out;
}

}  // namespace mailwarden::notices
