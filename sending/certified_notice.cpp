#include "sending/certified_notice.h"

#include "protocol/service.h"

namespace corvanta::sending {

std::string ReadLink(const std::string& serviceHost, const std::string& stamp) {
  return protocol::ServiceUrl(serviceHost, protocol::kCertifiedPath) + "?" + stamp;
}

std::string CancelLink(const std::string& serviceHost, const std::string& stamp) {
  return ReadLink(serviceHost, stamp) + "&cmd=del";
}

std::string NotificationBody(const std::string& serviceHost, const std::string& senderName,
                             const std::string& senderAddress, const std::string& stamp) {
  std::string body;
  body += "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td width=\"100%\" bgcolor=\"#000000\">";
  body += "<table border=\"0\" cellspacing=\"1\"><tr><td width=\"100%\" bgcolor=\"#585E96\">";
  body += "<table border=\"0\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\"><tr>";
  body += "<td width=\"50%\"><font face=\"Arial\" size=\"2\" color=\"#FFFFFF\">Certified mail";
  body += "</font></td><td width=\"50%\" align=\"right\">";
  body += "<a href=\"";
  body += "http://" + serviceHost + "/";
  body += "\" target=\"_blank\">";
  body += "<font face=\"Arial\" size=\"2\" color=\"#FFFFFF\">Mailwarden</font></a>";
  body += "</td></tr></table></td></tr><tr><td width=\"100%\" bgcolor=\"#FFFFFF\">";
  body += "<table border=\"0\" width=\"100%\" cellspacing=\"1\"><tr><td width=\"100%\">";
  body += "<font face=\"Arial\" size=\"2\">\"";
  body += senderName;
  body += "\" &lt;";
  body += senderAddress;
  body += "&gt; sent you an Email.<br>";
  body += "<br>To read the Email, please click on the following link:</font>";
  body += "<table border=\"0\" bgcolor=\"#000000\" cellspacing=\"0\" cellpadding=\"0\">";
  body += "<tr><td width=\"100%\"><table border=\"0\" cellspacing=\"1\"><tr><td width=\"100%\" bgcolor=\"#F5F5FF\">";
  body += "<a href=\"";
  body += protocol::ServiceUrl(serviceHost, protocol::kCertifiedPath);
  body += "?";
  body += stamp;
  body += "\" target=\"_blank\" >";
  body += "<font face=\"Arial\" size=\"2\" color=\"#000000\">Read Email</font></a>";
  body += "</td></tr></table></td></tr></table></td></tr></table></td></tr><tr>";
  body += "<td width=\"100%\" bgcolor=\"#585E96\"><font size=\"2\" face=\"Arial\" color=\"#FFFFFF\">";
  body += "Please note that the Email expires in 30 days.</font></td></tr></table></td></tr></table>";
  return body;
}

std::string HtmlCancelNotice(const std::string& cancelLink) {
  return "To cancel the delivery, please open the following link.<br>\r\n<a href=\"" + cancelLink +
         "\" target=\"_blank\">" + cancelLink + "</a><br>\r\n<br>\r\n";
}

std::string PlainCancelNotice(const std::string& cancelLink) {
  return "To cancel the delivery, please open the following link.\r\n" + cancelLink + "\r\n\r\n";
}

}  // namespace corvanta::sending
