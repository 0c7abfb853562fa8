#pragma once
// The add-in's values read in the sender's code page (the account's
// setting; the service's default for a sender without one), after the hash
// over the fields it covers is checked. The hash is over character codes,
// so both readings of the escapes are tried whatever the setting: an escape
// that reads both as a two-byte character and as a control character
// followed by text is settled by the hash, and a sender on a double-byte
// Windows sends before anyone set the account's code page.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service/context.h"
#include "service/requests/codepage.h"
#include "service/requests/form.h"

namespace mailwarden {

class Values {
 public:
  Values(Context& context, const Form& form, const std::string& senderKey);
  // Kept escapes read again in a code page now known (no hash to check).
  Values(const Form& form, int codepage, bool twoByte);

  // Throws BadRequest("Wrong hash.") when neither reading matches.
  void CheckHash(const std::vector<const char*>& keys);

  bool HadAccount() const { return hadAccount_; }
  // False when the text holds two-byte codes that no code page set for the
  // sender reads: a guess, or replacement characters.
  bool Sure() const { return sure_; }
  // The escapes of the text fields as received, for Sure() false.
  std::string Received() const;
  std::optional<std::string> RawContent() const;

  // A field's text in UTF-8: hashed fields as the hash settled them, the
  // others in the same reading.
  std::string Text(const std::string& key) const;
  // The field byte by byte, for fields that are plain ASCII by their form.
  const std::string& Bytes(const std::string& key) const { return form_.Required(key); }
  // The field's bytes in the sender's code page, as the hash settled them.
  std::string PageBytes(const std::string& key) const;
  // Bytes of the code page in UTF-8.
  std::string Name(const std::string& bytes) const;
  // The recipients paired in the code page's bytes, each piece then read
  // alone, as the add-in wrote it.
  std::vector<store::NewRecipient> Recipients() const;

 private:
  std::string Convert(const Codes& codes) const;
  int DoubleBytePage(const Codes& codes) const;

  const Form& form_;
  int codepage_;
  int default_;
  bool twoByte_ = false;
  bool hadAccount_ = false;
  bool sure_ = true;
  std::map<std::string, Codes> codes_;
};

// Reads the sender's messages kept with their escapes again in codepage, a
// double-byte one, and keeps the text; returns how many. Text kept in a
// single-byte code page stays as it is.
int ReadKeptTextsAgain(store::Store& store, std::string_view address, int codepage);

}  // namespace mailwarden
