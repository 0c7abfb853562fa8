#include "host/sim/mail_store_eml.h"

#include <gmime/gmime.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "host/error.h"

namespace host::sim {

namespace {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};
using GText = std::unique_ptr<char, GFree>;

std::string Take(char* text) {
  GText owned(text);
  return owned ? std::string(owned.get()) : std::string();
}

GMimeAddressType AddressType(RecipientKind kind) {
  switch (kind) {
    case RecipientKind::Cc:
      return GMIME_ADDRESS_TYPE_CC;
    case RecipientKind::Bcc:
      return GMIME_ADDRESS_TYPE_BCC;
    case RecipientKind::To:
      break;
  }
  return GMIME_ADDRESS_TYPE_TO;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool IsUtf8(const std::string& text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Header texts go to GMime as UTF-8; bytes that are not UTF-8 are taken as
// the Windows code page the add-in's strings hold.
std::string HeaderText(const std::string& text) {
  if (IsUtf8(text)) return text;
  gsize written = 0;
  GText converted(
      g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "WINDOWS-1252", nullptr, &written, nullptr));
  return converted ? std::string(converted.get(), written) : std::string();
}

// A text part holding the bytes as they are, labelled with their charset
// and quoted-printable: safe for 7-bit transport, readable, and it keeps
// the text exactly (a body without a final line break stays without one).
GMimePart* TextPart(const char* subtype, const std::string& text) {
  GMimePart* part = g_mime_part_new_with_type("text", subtype);
  const char* charset = IsAscii(text) ? "us-ascii" : IsUtf8(text) ? "utf-8" : "windows-1252";
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", charset);
  // A MIME body always ends with a line break; one of our own goes after the
  // text, so the reader can take it off and give the text back exactly.
  std::string content = text + "\r\n";
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(content.data(), content.size()));
  GPtr<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.get());
  g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return part;
}

// Line breaks as Outlook gives them (CR LF), without the line break the
// writer put after the text.
std::string BodyText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  if (out.ends_with("\r\n")) out.resize(out.size() - 2);
  return out;
}

void ReadAddresses(GMimeMessage* message, GMimeAddressType type, RecipientKind kind, std::vector<MailRecipient>& out) {
  InternetAddressList* list = g_mime_message_get_addresses(message, type);
  for (int i = 0; list && i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
    const char* name = internet_address_get_name(address);
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    out.push_back({name ? name : "", addr ? addr : "", kind});
  }
}

void ReadBodies(GMimeObject* part, ParsedMail& mail) {
  if (GMIME_IS_MULTIPART(part)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(part);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
      ReadBodies(g_mime_multipart_get_part(multipart, i), mail);
    }
    return;
  }
  if (!GMIME_IS_TEXT_PART(part)) return;
  GMimeContentType* type = g_mime_object_get_content_type(part);
  std::string text = BodyText(Take(g_mime_text_part_get_text(GMIME_TEXT_PART(part))));
  if (g_mime_content_type_is_type(type, "text", "html")) {
    mail.htmlBody = text;
  } else if (g_mime_content_type_is_type(type, "text", "plain")) {
    mail.body = text;
  }
}

}  // namespace

EmlText FormatEml(const MailMessage& message) {
  InitGMime();
  GPtr<GMimeMessage> mime(g_mime_message_new(TRUE));
  if (!message.from.name.empty() || !message.from.address.empty()) {
    g_mime_message_add_mailbox(mime.get(), GMIME_ADDRESS_TYPE_FROM, HeaderText(message.from.name).c_str(),
                               HeaderText(message.from.address).c_str());
  }
  // Each kind's list is built apart and handed over whole: adding mailboxes
  // one by one re-encodes the header every time, which grows with the square
  // of the recipients.
  for (const RecipientKind kind : {RecipientKind::To, RecipientKind::Cc, RecipientKind::Bcc}) {
    GPtr<InternetAddressList> list(internet_address_list_new());
    for (const auto& recipient : message.recipients) {
      if (recipient.kind != kind) continue;
      GPtr<InternetAddress> mailbox(
          internet_address_mailbox_new(HeaderText(recipient.name).c_str(), HeaderText(recipient.address).c_str()));
      internet_address_list_add(list.get(), mailbox.get());
    }
    if (internet_address_list_length(list.get()) > 0)
      internet_address_list_append(g_mime_message_get_addresses(mime.get(), AddressType(kind)), list.get());
  }
  g_mime_message_set_subject(mime.get(), HeaderText(message.subject).c_str(), "utf-8");

  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(mime.get(), now);
  g_date_time_unref(now);
  std::string messageId = Take(g_mime_utils_generate_message_id("corvanta.localhost"));
  g_mime_message_set_message_id(mime.get(), messageId.c_str());

  if (message.htmlBody.empty()) {
    GPtr<GMimePart> plain(TextPart("plain", message.body));
    g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(plain.get()));
  } else {
    GPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
    GPtr<GMimePart> plain(TextPart("plain", message.body));
    GPtr<GMimePart> html(TextPart("html", message.htmlBody));
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(plain.get()));
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(html.get()));
    g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(alternative.get()));
  }

  // RFC 5322 line ends in the file.
  GMimeFormatOptions* format = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
  std::string text = Take(g_mime_object_to_string(GMIME_OBJECT(mime.get()), format));
  g_mime_format_options_free(format);
  if (text.empty()) throw host::Error("GMime could not format the message");
  return {text, messageId};
}

ParsedMail ReadEml(const std::filesystem::path& path) {
  InitGMime();
  std::ifstream in(path, std::ios::binary);
  if (!in) throw host::Error("Cannot read " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  std::string bytes = content.str();

  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), static_cast<std::size_t>(bytes.size())));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) throw host::Error("Not a message: " + path.string());

  ParsedMail mail;
  std::vector<MailRecipient> from;
  ReadAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, RecipientKind::To, from);
  if (!from.empty()) mail.from = {from.front().name, from.front().address};
  ReadAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, RecipientKind::To, mail.recipients);
  ReadAddresses(message.get(), GMIME_ADDRESS_TYPE_CC, RecipientKind::Cc, mail.recipients);
  ReadAddresses(message.get(), GMIME_ADDRESS_TYPE_BCC, RecipientKind::Bcc, mail.recipients);
  const char* subject = g_mime_message_get_subject(message.get());
  mail.subject = subject ? subject : "";
  const char* date = g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date");
  mail.date = date ? date : "";
  const char* id = g_mime_message_get_message_id(message.get());
  mail.messageId = id ? id : "";

  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  if (body) {
    mail.contentType = Take(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(body)));
    ReadBodies(body, mail);
  }
  return mail;
}

}  // namespace host::sim
