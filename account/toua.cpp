#include "account/toua.h"

#include <exception>
#include <utility>
#include <vector>

#include "host/utf8.h"
#include "protocol/service.h"

namespace corvanta {

namespace {

std::vector<host::Control> Designed() {
  using host::ControlKind;
  return {
      host::Designed("Text1", ControlKind::TextBox, "Text1", 0, 0, 5295, 5295),
      host::Designed("OKButton", ControlKind::CommandButton, "I Agree", 2640, 5400, 1215, 375),
      host::Designed("CancelButton", ControlKind::CommandButton, "I Decline", 3960, 5400, 1215, 375),
  };
}

// Shown when the service's current text cannot be fetched.
std::string MakeBuiltInAgreement() {
  static const char* const kPieces[17] = {
      "By installing or using the Corvanta Add-in for Outlook (the \"Add-in\") and the Mailwarden e-mail tracking "
      "service (the \"Service\") you agree to these terms; if you do not agree, press \"I Decline\" and remove the "
      "Add-in. ",
      "The Add-in lets you send e-mail through the Service so that you can learn when a recipient opens your "
      "message, asks for a read receipt, or reads a message you sent as certified mail. ",
      "To do this the Add-in sends the Service your e-mail address and name, the addresses and names of your "
      "recipients, the subject, date and time of each tracked message and, for certified mail, the message "
      "itself. ",
      "The Service uses this information only to issue tracking stamps, to deliver and track your messages, to "
      "count your credits and to show you what happened to your messages; it does not sell or rent it to anyone. ",
      "Tracked messages carry a small invisible image or a link that tells the Service when they are opened; you "
      "are responsible for making sure that tracking your recipients is lawful where you and they live, and for "
      "telling them about it where the law requires. ",
      "You may not use the Add-in or the Service to send unsolicited bulk mail, to harass anyone, to send unlawful "
      "or harmful content, or to collect information about people without their consent. ",
      "You are responsible for the content of every message you send and for keeping your computer, your mail "
      "account and your e-mail address secure. ",
      "The use of the Service is metered in monthly credits: each tracked recipient uses one credit, unused credits "
      "do not carry over to the next month, and the number of free credits may change at any time. ",
      "Certified messages are kept on the Service only as long as needed to deliver them, and the sender can cancel "
      "a delivery until the recipient has read the message. ",
      "The Service may refuse, delay or stop tracking any message or account that breaks these terms or that puts "
      "the Service or its users at risk. ",
      "The Add-in and the Service are provided \"as is\", without warranty of any kind, express or implied, "
      "including fitness for a particular purpose; open and read notices depend on the recipient's mail program "
      "and may be missing, late or wrong. ",
      "In no event shall the makers of the Add-in or the operators of the Service be liable for any lost mail, lost "
      "data, lost profits or any other damage arising from the use of, or the inability to use, the Add-in or the "
      "Service, even if advised of the possibility of such damage. ",
      "The Add-in is licensed, not sold, for use with your own mail account; you may not decompile, modify or "
      "redistribute it except as the law expressly allows. ",
      "The Add-in reads your address and name through your mail program and stores only its own settings in your "
      "user profile; removing it through the Add/Remove Programs Wizard removes it from Outlook. ",
      "These terms may be changed from time to time; the current terms are shown when the Add-in is installed and "
      "are published on the Service's web site, and using the Add-in or the Service after a change means that you "
      "accept the changed terms. ",
      "If any part of these terms is found unenforceable, the rest remains in effect, and these terms are the whole "
      "agreement between you and the Service about the Add-in. ",
      "Questions about these terms can be sent to the Service's support address given on its web site.",
  };
  std::string text = "TERMS OF USE AGREEMENT (TOUA)\r\n\r\n";
  for (const char* piece : kPieces) text += piece;
  return text;
}

}  // namespace

toua::toua(host::Platform& platform, std::string serviceHost)
    : host::Form("toua", "Corvanta Add-in for Outlook", 5280, 5850, Designed()),
      platform_(platform),
      serviceHost_(std::move(serviceHost)) {}

toua::~toua() {
  Hide();
}

const std::string& toua::BuiltInAgreement() {
  static const std::string agreement = MakeBuiltInAgreement();
  return agreement;
}

void toua::LoadText() {
  std::string text;
  try {
    if (!inet_) inet_ = platform_.internet.CreateTransfer();
    inet_->SetRequestTimeout(10);
    std::string reply = inet_->OpenURL(protocol::ServiceUrl(serviceHost_, protocol::kTermsPath));
    // A short answer is an error page or a placeholder, not the terms.
    if (host::utf8::Units(reply) > 200) text = std::move(reply);
  } catch (const std::exception&) {
    // No connection or no terms on the server: the built-in text, silently.
  }
  if (text.empty()) text = BuiltInAgreement();
  (*this)["Text1"].caption = text;
  Update("Text1");
}

void toua::Click(const std::string& control) {
  if (control == "OKButton") {
    bIagree = true;
    Hide();
  } else if (control == "CancelButton") {
    bIagree = false;
    Hide();
  }
}

}  // namespace corvanta
