// Shows the pages' times (sent as UTC) in the browser's own time zone.
(function () {
  "use strict";
  function localise() {
    var format;
    try {
      format = new Intl.DateTimeFormat(undefined, {
        year: "numeric", month: "2-digit", day: "2-digit",
        hour: "2-digit", minute: "2-digit", timeZoneName: "short"
      });
    } catch (e) {
      return;
    }
    var times = document.querySelectorAll("time[datetime]");
    for (var i = 0; i < times.length; i++) {
      var when = new Date(times[i].getAttribute("datetime"));
      if (isNaN(when.getTime())) continue;
      times[i].title = times[i].textContent;
      times[i].textContent = format.format(when);
    }
  }
  // The list's days are the browser's days: its forms say how far it is from UTC.
  function zone() {
    var fields = document.querySelectorAll("input[name=tz]");
    for (var i = 0; i < fields.length; i++) fields[i].value = String(new Date().getTimezoneOffset());
  }
  window.mailwardenLocalTimes = localise;
  function start() {
    localise();
    zone();
  }
  if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", start);
  } else {
    start();
  }
})();
