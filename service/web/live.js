// Keeps the sender's messages list and a message's page up to date while
// open: the service tells of each new event (Server-Sent Events from
// /cvx/live), the page fetches itself again and its title counts what came.
// Without script the pages are as they were sent.
(function () {
  "use strict";
  function start() {
    var marker = document.getElementById("live");
    if (!marker || !window.EventSource || !window.fetch || !window.DOMParser) return;
    var title = document.title;
    var arrived = 0;
    var loading = false;
    var again = false;
    function refresh() {
      if (loading) {
        again = true;
        return;
      }
      loading = true;
      fetch(location.href, { credentials: "same-origin", cache: "no-store" })
        .then(function (reply) {
          if (!reply.ok) throw new Error("status " + reply.status);
          return reply.text();
        })
        .then(function (html) {
          var fresh = new DOMParser().parseFromString(html, "text/html").getElementById("live-part");
          var part = document.getElementById("live-part");
          if (!fresh || !part) return;
          // What the sender opened stays open.
          var open = [];
          var details = part.querySelectorAll("details");
          for (var i = 0; i < details.length; i++) open.push(details[i].open);
          part.innerHTML = fresh.innerHTML;
          details = part.querySelectorAll("details");
          for (var j = 0; j < details.length && j < open.length; j++) if (open[j]) details[j].open = true;
          if (window.mailwardenLocalTimes) window.mailwardenLocalTimes();
          document.body.setAttribute("data-live-updates", String(Number(document.body.getAttribute("data-live-updates") || 0) + 1));
        })
        .catch(function () {})
        .then(function () {
          loading = false;
          if (again) {
            again = false;
            refresh();
          }
        });
    }
    var source = new EventSource(marker.getAttribute("data-src"));
    source.addEventListener("change", function (event) {
      arrived += parseInt(event.data, 10) || 0;
      document.title = "(" + arrived + " new) " + title;
      refresh();
    });
  }
  if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", start);
  } else {
    start();
  }
})();
