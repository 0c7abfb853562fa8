// The settings page: which notices the sender gets by mail and in which time
// zone, and the webhooks their events are POSTed to (a paused one shown
// with why, to resume).
#include "service/notices/time_zone.h"
#include "service/notices/webhook_address.h"
#include "service/notices/webhook_secret.h"
#include "service/pages/pages.h"
#include "service/pages/web_text.h"
#include "service/time_text.h"

namespace mailwarden::pages {
namespace {

constexpr const char* kSettingsPath = "/cvx/settings";

struct Choice {
  const char* value;
  const char* text;
};
constexpr Choice kMailChoices[] = {
    {"each", "A mail for each: a recipient's first open, each receipt, each certified read, each cancellation"},
    {"hourly", "One mail an hour with all of them"},
    {"daily", "One mail a day with all of them"},
    {"off", "No mail"},
};

// Offered as the field's suggestions; any zone of the tz database is taken.
constexpr const char* kCommonZones[] = {
    "UTC",
    "Europe/London",
    "Europe/Dublin",
    "Europe/Lisbon",
    "Europe/Paris",
    "Europe/Berlin",
    "Europe/Madrid",
    "Europe/Rome",
    "Europe/Amsterdam",
    "Europe/Vienna",
    "Europe/Zurich",
    "Europe/Stockholm",
    "Europe/Warsaw",
    "Europe/Athens",
    "Europe/Helsinki",
    "Europe/Moscow",
    "Asia/Jerusalem",
    "Asia/Dubai",
    "Asia/Kolkata",
    "Asia/Shanghai",
    "Asia/Tokyo",
    "Asia/Seoul",
    "Asia/Singapore",
    "Australia/Sydney",
    "Pacific/Auckland",
    "America/New_York",
    "America/Chicago",
    "America/Denver",
    "America/Los_Angeles",
    "America/Sao_Paulo",
};

std::string Button(const std::string& csrf, const char* action, std::int64_t id, const char* text) {
  return "<form class=\"inline\" method=\"post\" action=\"" + std::string(kSettingsPath) + "\">" + CsrfField(csrf) +
         "<input type=\"hidden\" name=\"do\" value=\"" + action + "\"><input type=\"hidden\" name=\"id\" value=\"" +
         std::to_string(id) + "\"><button type=\"submit\">" + text + "</button></form>";
}

}  // namespace

http::Reply Pages::Settings(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  store::Account account = sender.account;
  std::string message, secret;
  bool failed = false;  // the form's input was refused
  if (request.method == "POST") {
    failed = true;
    const auto fields = ParseFields(request.body);
    const std::string action = FieldOf(fields, "do");
    const std::int64_t id = ParseId(FieldOf(fields, "id"));
    if (action == "notify") {
      const std::string mail = FieldOf(fields, "mail"), zone = FieldOf(fields, "zone");
      const bool known = std::any_of(std::begin(kMailChoices), std::end(kMailChoices),
                                     [&](const Choice& choice) { return mail == choice.value; });
      if (!known) {
        message = "Choose one of the ways to be told.";
      } else if (zone.size() > 64 || !notices::TimeZone::Load(zone)) {
        message = "\"" + zone.substr(0, 64) +
                  "\" is no time zone we know. Write it as Continent/City, such as "
                  "Europe/Berlin.";
      } else {
        store_.SetNotify(account.address, mail, zone);
        account.notify = mail;
        account.timeZone = zone;
        message = "Your notice settings are saved.";
        failed = false;
      }
    } else if (action == "add-webhook") {
      const std::string url = FieldOf(fields, "url");
      if (const std::string refused = notices::CheckWebhookUrl(url, options_.webhooksAllowPrivate); !refused.empty()) {
        message = "That webhook address " + refused + ".";
      } else if (store_.ListWebhooks(account.id).size() >= kMaxWebhooks) {
        message = "You have " + std::to_string(kMaxWebhooks) + " webhooks already; remove one first.";
      } else if (!options_.sealingKey) {
        return Problem(503, "Not now", "The service cannot keep webhooks now. Please tell your administrator.",
                       &viewer);
      } else if (const notices::WebhookSecret made = notices::NewWebhookSecret(*options_.sealingKey);
                 store_.AddWebhook(account.address, url, made.sealed, Now())) {
        secret = made.text;
        message = "The webhook is added. Its signing secret is below: copy it now, it is shown this once.";
        failed = false;
      }
    } else if ((action == "remove-webhook" && store_.RemoveWebhook(account.id, id)) ||
               (action == "resume-webhook" && store_.ResumeWebhook(account.id, id))) {
      message = action == "remove-webhook" ? "The webhook is removed." : "The webhook gets your events again.";
      failed = false;
    } else {
      return Problem(400, "Unknown setting", "Go back, reload the page and try again.", &viewer);
    }
  }

  std::string body = "<h1>Settings</h1>\n";
  if (!message.empty()) {
    body +=
        "<p class=\"notice" + std::string(failed ? " error" : "") + "\" role=\"alert\">" + Escape(message) + "</p>\n";
  }
  if (!secret.empty()) body += "<p><code class=\"key\">" + Escape(secret) + "</code></p>\n";

  body += "<h2>Notices by mail</h2>\n";
  if (!options_.mailNotices) {
    body +=
        "<p class=\"hint\">This service sends no mail yet: your administrator starts it with <code>--smtp</code> "
        "for that. Your choice below holds from then on.</p>\n";
  }
  body += "<form class=\"settings\" method=\"post\" action=\"" + std::string(kSettingsPath) + "\">" +
          CsrfField(sender.session.csrf) +
          "<input type=\"hidden\" name=\"do\" value=\"notify\">\n<fieldset><legend>"
          "Tell me by mail of what persons did (machines and your own views never)</legend>\n";
  for (const Choice& choice : kMailChoices) {
    body += "<label><input type=\"radio\" name=\"mail\" value=\"" + std::string(choice.value) + "\"" +
            (account.notify == choice.value ? " checked" : "") + "> " + choice.text + "</label>\n";
  }
  body +=
      "</fieldset>\n<label>Times in the time zone <input name=\"zone\" list=\"zones\" required maxlength=\"64\" "
      "value=\"" +
      Escape(account.timeZone) + "\"></label>\n<datalist id=\"zones\">";
  for (const char* zone : kCommonZones) body += "<option value=\"" + std::string(zone) + "\">";
  body += "</datalist>\n<button type=\"submit\">Save</button></form>\n";

  body +=
      "<h2>Webhooks</h2>\n<p>Each event a person made, and each cancellation, is POSTed as JSON to these "
      "addresses, signed in the header <code>Mailwarden-Signature</code> (<code>t=</code>time<code>,v1=</code>"
      "HMAC-SHA256 of the time, a dot and the body, with the webhook's secret).</p>\n";
  const std::vector<store::Webhook> webhooks = store_.ListWebhooks(account.id);
  if (webhooks.empty()) {
    body += "<p class=\"quiet\">No webhooks.</p>\n";
  } else {
    body += "<table class=\"webhooks\"><thead><tr><th>Address</th><th>State</th><th></th></tr></thead><tbody>\n";
    for (const store::Webhook& hook : webhooks) {
      std::string state = "<span class=\"status seen\">Working</span>";
      if (hook.paused) {
        state = "<span class=\"status cancelled\">Paused</span>: it kept failing for a day (" + Escape(hook.lastError) +
                "). Events since are not kept for it.";
      } else if (hook.failingSince) {
        state = "<span class=\"status unseen\">Failing</span> since " +
                Escape(FormatUtc(hook.failingSince, "%Y-%m-%d %H:%M UTC")) + " (" + Escape(hook.lastError) +
                "); tried again for a day.";
      }
      body += "<tr><td class=\"subject\">" + Escape(hook.url) + "</td><td>" + state + "</td><td>" +
              (hook.paused ? Button(sender.session.csrf, "resume-webhook", hook.id, "Resume") + " " : "") +
              Button(sender.session.csrf, "remove-webhook", hook.id, "Remove") + "</td></tr>\n";
    }
    body += "</tbody></table>\n";
  }
  body += "<form class=\"search\" method=\"post\" action=\"" + std::string(kSettingsPath) + "\">" +
          CsrfField(sender.session.csrf) +
          "<input type=\"hidden\" name=\"do\" value=\"add-webhook\"><input type=\"url\" name=\"url\" required "
          "maxlength=\"2000\" placeholder=\"https://example.com/mailwarden-events\" aria-label=\"Webhook address\">"
          "<button type=\"submit\">Add webhook</button></form>\n";
  return HtmlReply(failed ? 400 : 200, Frame("Settings", body, &viewer), true);
}

}  // namespace mailwarden::pages
