#pragma once
// The add-in: one class that Outlook loads, holding the host objects, the
// newest set of toolbar buttons, the settings loaded at start-up and the
// sender identity. Each operation is defined in the folder of its subsystem.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/platform.h"
#include "protocol/request_signature.h"
#include "sending/own_copies.h"

namespace corvanta {

class dlgProgress;

class Connect {
 public:
  explicit Connect(host::Platform& platform);
  virtual ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

  // Shared state, in declaration order.
  std::string fromAddy;
  std::string fromName;
  bool redWorks = false;
  std::string olVersion;
  std::string regPath;
  std::string cvxRegPath;
  std::string CVXversion;
  bool bAcceptedTOUA = false;
  std::int16_t opt_send = 0;
  std::int32_t SizeLimit = 0;
  std::shared_ptr<host::MAPIUtils> Utils;
  std::shared_ptr<host::Application> goOutlook;
  std::shared_ptr<host::Inspectors> goInspectors;
  std::shared_ptr<host::CommandBarButton> autoButton;
  std::shared_ptr<host::CommandBarButton> requButton;
  std::shared_ptr<host::CommandBarButton> guarButton;
  std::shared_ptr<host::CommandBarButton> aboutButton;
  std::shared_ptr<host::Explorer> oMyExplorer;

  // The service's web host ("ServiceHost" under cvxRegPath), read at start-up.
  std::string serviceHost;
  // The add-in key ("ServiceKey"), read at start-up; without one every
  // request goes exactly as an add-in without keys sends it.
  std::optional<protocol::AddinKey> serviceKey;

  // IDTExtensibility2 (addin/lifecycle.cpp).
  void OnConnection(std::shared_ptr<host::Application> application, int connectMode);
  void OnDisconnection(int removeMode);
  void OnAddInsUpdate();
  void OnStartupComplete();
  void OnBeginShutdown();
  void oMyExplorer_Close();

  // Outlook version and mail editor (addin/outlook_version.cpp).
  void DetectOutlookVersion();
  void CheckMailEditor();

  // The "Tracking" drop-down (addin/tracking_dropdown.cpp).
  void goInspectors_NewInspector(std::shared_ptr<host::Inspector> inspector);
  using ButtonPtr = std::shared_ptr<host::CommandBarButton>;
  void autoButton_Click(ButtonPtr ctrl, bool& cancelDefault);
  void requButton_Click(ButtonPtr ctrl, bool& cancelDefault);
  void guarButton_Click(ButtonPtr ctrl, bool& cancelDefault);
  void aboutButton_Click(ButtonPtr ctrl, bool& cancelDefault);
  // The button a Click came from, and the one place that hands it to its
  // handler (tests observe the routing by overriding it).
  enum class TrackingButton { Automatic, RequestReceipt, Guaranteed, About };
  virtual void RouteClick(TrackingButton button, ButtonPtr ctrl, bool& cancelDefault);

  // Tracked sending (sending/).
  void SendTracked(const std::string& head, const std::string& tail, bool atEnd);
  void SendReceiveSimulation();
  std::string GetStamps(dlgProgress& progress, host::SafeMailItem& item, const std::string& curDate,
                        const std::string& curTime);
  std::string SendCertified(dlgProgress& progress, host::SafeMailItem& item, const std::string& curDate,
                            const std::string& curTime);
  bool React(const std::string& response, const std::string& defaultMsg);
  void ShowStepError(std::int16_t stepCode);
  // The sender's own copies in Sent Items (sending/sent_items.cpp): listens
  // to Sent Items from the first send on, and marks the tracked address in
  // each copy of a sent message that arrives there.
  void WatchSentItems();
  void goSentItems_ItemAdd(std::shared_ptr<host::MailItem> item);
  sending::OwnCopies ownCopies;
  std::shared_ptr<host::Items> goSentItems;

  // Service account (account/).
  void LoadCurrentUser();
  std::string GetSenderAddress();
  std::string GetSenderName();
  std::string GetSmtpAddress(host::AddressEntry& entry);
  std::int32_t GetCredit(dlgProgress& progress, const std::string& address);

  // Message text (text/make_html_body.cpp).
  std::string MakeHtmlBody(std::string& plainBody, std::string& htmlBody, const std::string& insert, bool atEnd);

  host::Platform& platform;

  // Event subscriptions of the members above; dropping one stops its events.
  host::Subscription inspectorsEvents;
  host::Subscription sentItemsEvents;
  host::Subscription explorerEvents;
  host::Subscription autoButtonEvents, requButtonEvents, guarButtonEvents, aboutButtonEvents;
  // A send of the add-in is running: a second click is ignored.
  bool sending = false;
};

}  // namespace corvanta
