#include "sending/inserts.h"

#include "protocol/service.h"

namespace corvanta::sending {

Insert TrackingImage(const std::string& serviceHost) {
  Insert insert;
  insert.head = std::string("<img width=\"1\" height=\"1\" src=\"") +
                protocol::ServiceUrl(serviceHost, protocol::kTrackPath) + "?img=1&";
  insert.tail = "\">";
  return insert;
}

Insert ReceiptRequest(const std::string& serviceHost) {
  Insert insert;
  insert.head = std::string("<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\">") +
                "  <tr>    <td width=\"100%\" bgcolor=\"#000000\">" +
                "      <table border=\"0\" cellspacing=\"1\">        <tr>" +
                "          <td width=\"100%\" bgcolor=\"#F5F5FF\"><font" +
                " face=\"Arial\" size=\"2\">The sender has requested a read receipt be sent when the message "
                "has been read.<br>" +
                "If you wish to send a receipt, please click on the following link:</font>" +
                "            <table border=\"0\" cellspacing=\"1\"><tr>" + "                <td width=\"100%\"" +
                " bgcolor=\"#585E96\">" + "<a href=\"" + protocol::ServiceUrl(serviceHost, protocol::kTrackPath) + "?";
  insert.tail = std::string("\" target=\"_blank\"><font face=\"Arial\" size=\"2\"") + "color=\"#FFFFFF\">" +
                "Send a read receipt</font></a></td>" + "              </tr></table>" + "          </td>" +
                "        </tr>" + "      </table>" + "    </td>" + "  </tr>" + "</table>";
  return insert;
}

}  // namespace corvanta::sending
