// The sender's pages in Debian's Chromium: a sender signs in, sends three
// messages through corvanta, recipients on other loopback addresses open,
// confirm and read them, the sender cancels a certified delivery, and the
// pages show each, to this sender only, with no script of a message running.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, test } from "node:test";
import * as h from "./harness.mjs";

const kPassword = "Ann's long password";
const kBeaPassword = "Bea's long password";
const kBrowserAgent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0 Safari/537.36";
const kScannerAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1) Barracuda link protection";
const kScriptSubject = "<script>alert('subject')</script> Minutes";

let dir, service, chromium, proxy, sent;

before(async () => {
  dir = h.tempDir();
  const database = "sqlite:" + path.join(dir, "mailwarden.db");
  h.account(database, ["add", "ann@example.com", "--credit", "50"]);
  h.account(database, ["password", "ann@example.com"], kPassword + "\n");
  h.account(database, ["add", "bea@example.com", "--credit", "50"]);
  h.account(database, ["password", "bea@example.com"], kBeaPassword + "\n");
  service = await h.startService(database, dir);
  chromium = await h.launchChromium();
  proxy = await h.recipientProxy("127.0.0.3");

  fs.writeFileSync(path.join(dir, "body.txt"), "Hello,\nthe figures are in.\nAnn\n");
  fs.writeFileSync(path.join(dir, "certified.html"),
    "<html><body><p>Please sign the <b>contract</b>.</p>" +
    "<script>console.log('certified-script-ran'); alert('certified')</script>" +
    "<img src=\"x\" onerror=\"console.log('certified-onerror-ran'); alert('onerror')\"></body></html>");
  sent = {
    automatic: h.send(service, dir, { mode: "automatic", subject: "Quarterly figures",
      to: ["Bob Baker <bob@example.net>"], cc: ["Carol Clark <carol@example.org>"], textFile: path.join(dir, "body.txt") }),
    receipt: h.send(service, dir, { mode: "receipt", subject: kScriptSubject, to: ["Bob Baker <bob@example.net>"],
      textFile: path.join(dir, "body.txt") }),
    certified: h.send(service, dir, { mode: "guaranteed", subject: "Contract",
      to: ["Bob Baker <bob@example.net>", "Carol Clark <carol@example.org>", "Dan Dale <dan@example.com>"],
      htmlFile: path.join(dir, "certified.html") }),
  };
  // A fetch within 10 seconds of its stamp is a machine's; persons come
  // later, however long the sends took.
  service.passTime(11);

  const bob = sent.automatic["bob@example.net"];
  const carol = sent.automatic["carol@example.org"];
  assert.ok(bob.image && carol.image, "the Automatic copies carry their images");
  assert.equal((await h.fetchFrom("127.0.0.2", bob.image, kBrowserAgent)).status, 200);     // Bob, a person
  assert.equal((await h.fetchFrom("127.0.0.3", carol.image, kScannerAgent)).status, 200);   // a security scanner
  assert.equal((await h.fetchFrom("127.0.0.1", carol.image + "&own=1", "Outlook")).status, 200);  // the sender's copy in Sent Items
});

after(async () => {
  await chromium?.close();
  proxy?.close();
  await service?.stop();
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

// Clicks what leads to another page and waits until that page has loaded
// whole, its deferred script run: a click returns once the page begins to
// arrive, and what is read next must not depend on how fast it comes.
async function clickThrough(page, target) {
  await (typeof target === "string" ? page.click(target) : target.click());
  await page.waitForLoadState("load");
}

async function signIn(context, address, password) {
  const page = await context.newPage();
  const seen = h.watch(page);
  await page.goto(service.url + "/cvx/");
  await page.fill("input[name=address]", address);
  await page.fill("input[name=password]", password);
  await clickThrough(page, "button:has-text('Sign in')");
  await page.waitForSelector("h1:has-text('Your messages')");
  return { page, seen };
}

function row(page, subjectText) {
  return page.locator("table.messages tbody tr", { hasText: subjectText });
}

// The links that change the record, followed by a scanner first (every one,
// a plain GET as the gateways make them), then by persons pressing the
// buttons: only the presses count.
test("a scanner following every link changes nothing; a person pressing the buttons does", async () => {
  const receipt = sent.receipt["bob@example.net"].receipt;
  const bobRead = sent.certified["bob@example.net"].read;
  // The cancel link of a kept copy: the read link with "&cmd=del".
  const cancels = ["bob@example.net", "carol@example.org", "dan@example.com"].map((to) => sent.certified[to].read + "&cmd=del");
  for (const link of [receipt, bobRead, ...cancels]) {
    const reply = await h.fetchFrom("127.0.0.4", link, kScannerAgent);
    assert.equal(reply.status, 200, link);
    assert.match(reply.body, /<form method="post"/, link);
  }
  const senderContext = await h.newContext(chromium.browser);
  const { page: sender } = await signIn(senderContext, "ann@example.com", kPassword);
  const events = async () => {
    const api = await (await sender.request.get(service.url + "/cvx/api/messages")).json();
    return api.messages.flatMap((m) => m.recipients.flatMap((r) =>
      r.events.map((e) => `${m.subject} ${r.address} ${e.type} ${e.class}`)));
  };
  const scanned = await events();
  // The scanner's two visits of Bob's links within the minute are one with a count.
  assert.deepEqual(scanned.filter((e) => !/ image /.test(e)).sort(), [
    "Contract bob@example.net visit machine",
    "Contract carol@example.org visit machine", "Contract dan@example.com visit machine",
    `${kScriptSubject} bob@example.net visit machine`].sort());

  // Bob, a person: headless Chromium's own User-Agent says it is a machine.
  const context = await h.newContext(chromium.browser, { proxy: { server: proxy.server }, userAgent: kBrowserAgent,
    viewport: { width: 800, height: 600 } });
  const page = await context.newPage();
  await page.goto(receipt);
  await page.waitForSelector("button:has-text('Send a read receipt')");
  assert.match(await page.locator("h1").textContent(), /ann@example\.com asks for a read receipt/);
  await page.screenshot({ path: path.join(h.screenshotDir, "link-receipt.png"), fullPage: true });
  await clickThrough(page, "button:has-text('Send a read receipt')");
  await page.waitForSelector("h1:has-text('Thank you')");
  // Pressed again (the page sent once more): still one receipt.
  await page.goBack();
  await clickThrough(page, "button:has-text('Send a read receipt')");

  await page.goto(bobRead);
  await page.waitForSelector("button:has-text('Read the message')");
  await page.screenshot({ path: path.join(h.screenshotDir, "link-read.png"), fullPage: true });
  await context.close();

  // The sender cancels Dan's delivery from the kept copy's link.
  const dan = cancels[2];
  await sender.goto(dan);
  await sender.waitForSelector("button:has-text('Cancel the delivery')");
  assert.match(await sender.locator("h1").textContent(), /^Cancel the delivery of .Contract. to dan@example\.com\?$/);
  await sender.screenshot({ path: path.join(h.screenshotDir, "link-cancel.png"), fullPage: true });
  await clickThrough(sender, "button:has-text('Cancel the delivery')");
  await sender.waitForSelector("text=The delivery to dan@example.com has been cancelled.");

  const pressed = (await events()).filter((e) => !/ (image|visit) /.test(e)).sort();
  assert.deepEqual(pressed,
    ["Contract dan@example.com cancel sender", `${kScriptSubject} bob@example.net receipt person`].sort());
  await senderContext.close();
});

test("a recipient reads certified HTML in a frame where its script does not run", async () => {
  // A person's browser: headless Chromium's own User-Agent says it is a machine.
  const context = await h.newContext(chromium.browser, { proxy: { server: proxy.server }, userAgent: kBrowserAgent });
  const page = await context.newPage();
  const seen = h.watch(page);
  await page.goto(sent.certified["bob@example.net"].read);
  const [reply] = await Promise.all([page.waitForResponse((r) => r.request().method() === "POST"),
    page.click("button:has-text('Read the message')")]);
  assert.equal(reply.status(), 200);
  assert.match(reply.headers()["content-security-policy"], /^sandbox /);
  const frame = page.frameLocator("iframe.message");
  await frame.locator("text=Please sign the").waitFor();
  assert.equal(await page.locator("iframe.message").getAttribute("sandbox"), "allow-popups allow-popups-to-escape-sandbox");
  // The page and its frame have loaded: whatever script could run has run.
  await page.waitForLoadState("load");
  assert.deepEqual(seen.dialogs, []);
  assert.ok(!seen.console.some((line) => line.includes("-ran")), seen.console.join("\n"));
  await context.close();
});

test("the sender sees who opened, confirmed, read and was cancelled", async () => {
  const context = await h.newContext(chromium.browser, { timezoneId: "Europe/Berlin", viewport: { width: 1280, height: 900 } });
  const { page, seen } = await signIn(context, "ann@example.com", kPassword);

  // Newest first, the credit left, the subject as text.
  const subjects = await page.locator("td.subject").allTextContents();
  assert.deepEqual(subjects, ["Contract", kScriptSubject, "Quarterly figures"]);
  assert.match(await page.locator(".credit").textContent(), /You have 44 credits left this month/);

  const automatic = row(page, "Quarterly figures");
  assert.match(await automatic.locator("td.kind").textContent(), /^Automatic$/);
  const bobLine = await automatic.locator("li", { hasText: "bob@example.net" }).textContent();
  assert.match(bobLine, /Bob Baker <bob@example\.net> opened 1×/);
  const carolLine = await automatic.locator("li", { hasText: "carol@example.org" }).textContent();
  assert.match(carolLine, /not opened/);
  assert.match(carolLine, /· 1 machine fetch not counted · 1 view of your own not counted/);
  assert.match(await row(page, "Minutes").textContent(), /Request receipt.*receipt sent/s);
  const certified = row(page, "Contract");
  assert.match(await certified.locator("li", { hasText: "bob@example.net" }).textContent(), /read /);
  // Times in the browser's zone once the page's own script ran.
  assert.doesNotMatch(await automatic.locator("time").first().textContent(), /UTC/);
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-messages.png"), fullPage: true });

  // Search over subjects and recipients.
  await page.fill("input[name=q]", "contract");
  await clickThrough(page, "button:has-text('Search')");
  assert.deepEqual(await page.locator("td.subject").allTextContents(), ["Contract"]);

  // The certified message: cancel Carol's delivery.
  await clickThrough(page, "a:has-text('Contract')");
  await page.waitForSelector("h1:has-text('Contract')");
  assert.equal(await page.locator("button:has-text('Cancel delivery')").count(), 2);  // Dan's is cancelled
  const carol = page.locator("section.recipient", { hasText: "carol@example.org" });
  await clickThrough(page, carol.locator("button:has-text('Cancel delivery')"));
  await page.waitForSelector("text=The delivery to carol@example.org has been cancelled.");
  assert.equal(await page.locator("button:has-text('Cancel delivery')").count(), 1);
  const bob = page.locator("section.recipient", { hasText: "bob@example.net" });
  assert.match(await bob.locator("table.timeline").textContent(), /Certified message read.*a person/s);
  assert.match(await carol.locator("table.timeline").textContent(), /Delivery cancelled.*you/s);
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-message.png"), fullPage: true });
  // Carol's link now says so.
  assert.equal((await h.fetchFrom("127.0.0.3", sent.certified["carol@example.org"].read, kBrowserAgent)).status, 410);

  // The Automatic message's timeline: a person, a machine and the sender.
  await page.goto(service.url + "/cvx/");
  await clickThrough(page, "a:has-text('Quarterly figures')");
  const timeline = await page.locator("table.timeline").allTextContents();
  assert.match(timeline.join("\n"), /a person/);
  assert.match(timeline.join("\n"), /a machine/);
  assert.match(timeline.join("\n"), /you/);

  // The same in JSON, with the same session.
  const api = await (await page.request.get(service.url + "/cvx/api/messages")).json();
  const figures = api.messages.find((m) => m.subject === "Quarterly figures");
  const classes = figures.recipients.flatMap((r) => r.events.map((e) => `${r.address} ${e.type} ${e.class}`));
  assert.deepEqual(classes.sort(), ["bob@example.net image person", "carol@example.org image machine",
    "carol@example.org image sender"]);
  const csv = await (await page.request.get(service.url + "/cvx/export.csv")).text();
  assert.match(csv, /Contract,Guaranteed,carol@example\.org,Carol Clark,,cancel,sender,/);

  // A phone's screen.
  await page.setViewportSize({ width: 390, height: 844 });
  await page.goto(service.url + "/cvx/");
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-messages-phone.png"), fullPage: true });

  assert.deepEqual(seen.dialogs, []);
  assert.ok(!seen.console.some((line) => line.includes("subject")), seen.console.join("\n"));
  await context.close();
});

test("a second sender sees none of it and gets 404 on the other's addresses", async () => {
  const annContext = await h.newContext(chromium.browser);
  const ann = await signIn(annContext, "ann@example.com", kPassword);
  const contractHref = await ann.page.locator("a:has-text('Contract')").getAttribute("href");
  await annContext.close();

  const context = await h.newContext(chromium.browser);
  const { page } = await signIn(context, "bea@example.com", kBeaPassword);
  assert.equal(await page.locator("table.messages").count(), 0);
  assert.match(await page.locator("main").textContent(), /You have sent no tracked message yet/);
  const csrf = await page.locator("input[name=csrf]").first().getAttribute("value");

  const message = await page.goto(service.url + contractHref);
  assert.equal(message.status(), 404);
  const cancel = await page.request.post(service.url + contractHref + "/cancel", { form: { csrf, to: "1" } });
  assert.equal(cancel.status(), 404);
  const id = contractHref.split("/").pop();
  assert.equal((await page.request.get(service.url + "/cvx/api/messages/" + id)).status(), 404);
  assert.deepEqual((await (await page.request.get(service.url + "/cvx/api/messages")).json()).messages, []);
  // Bob's delivery is still there to read.
  assert.equal((await h.fetchFrom("127.0.0.2", sent.certified["bob@example.net"].read, kBrowserAgent)).status, 200);
  await context.close();
});

test("the pages work without script, in UTC", async () => {
  const context = await h.newContext(chromium.browser, { javaScriptEnabled: false, timezoneId: "Asia/Tokyo" });
  const { page } = await signIn(context, "ann@example.com", kPassword);
  assert.match(await row(page, "Quarterly figures").locator("time").first().textContent(), / UTC$/);
  await context.close();
});

test("signing out ends the session", async () => {
  const context = await h.newContext(chromium.browser);
  const { page } = await signIn(context, "ann@example.com", kPassword);
  const cookies = await context.cookies(service.url + "/cvx/");
  const session = cookies.find((c) => c.name === "cvx_session");
  assert.equal(session.httpOnly, true);
  assert.equal(session.sameSite, "Strict");
  assert.equal(session.path, "/cvx/");
  await clickThrough(page, "button:has-text('Sign out')");
  await page.waitForSelector("text=You have signed out.");
  assert.equal((await page.request.get(service.url + "/cvx/api/messages")).status(), 401);

  // The old cookie, put back, opens nothing.
  const thief = await h.newContext(chromium.browser);
  await thief.addCookies([{ ...session }]);
  const stolen = await thief.newPage();
  await stolen.goto(service.url + "/cvx/");
  assert.equal(await stolen.locator("h1").textContent(), "Sign in");
  assert.equal((await stolen.request.get(service.url + "/cvx/api/messages")).status(), 401);
  await thief.close();
  await context.close();
});

const kOutlookAgent = "Microsoft Office/16.0 (Windows NT 10.0; Microsoft Outlook 16.0.5095; Pro)";
const kIphoneAgent =
  "Mozilla/5.0 (iPhone; CPU iPhone OS 16_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/15E148";
const kGmailAgent = "Mozilla/5.0 (Windows NT 5.1; rv:11.0) Gecko Firefox/11.0 (via ggpht.com GoogleImageProxy)";

test("the pages answer at a glance: how many opened, filters, programs in words, repeated opens folded", async () => {
  const board = h.send(service, dir, { mode: "automatic", subject: "Board pack",
    to: ["Bob Baker <bob@example.net>", "Carol Clark <carol@example.org>", "Dan Dale <dan@example.com>",
      "Eve Ernst <eve@example.com>"], textFile: path.join(dir, "body.txt") });
  service.passTime(11);
  // Bob opens five times in Outlook, minutes apart; Carol on her iPhone, Dan in Gmail; Eve not at all.
  for (let i = 0; i < 5; i++) {
    assert.equal((await h.fetchFrom("127.0.0.2", board["bob@example.net"].image, kOutlookAgent)).status, 200);
    service.passTime(120);
  }
  assert.equal((await h.fetchFrom("127.0.0.3", board["carol@example.org"].image, kIphoneAgent)).status, 200);
  assert.equal((await h.fetchFrom("127.0.0.4", board["dan@example.com"].image, kGmailAgent)).status, 200);

  const context = await h.newContext(chromium.browser, { timezoneId: "Europe/Berlin", viewport: { width: 1280, height: 900 } });
  const { page, seen } = await signIn(context, "ann@example.com", kPassword);
  // Events are written in batches: the list shows them once they are.
  while (!/3 of 4 opened/.test(await row(page, "Board pack").locator("td.glance").textContent())) {
    await new Promise((resolve) => setTimeout(resolve, 100));
    await page.reload();
  }
  assert.equal(await row(page, "Minutes").locator("td.glance").textContent(), "1 of 1 opened · 1 of 1 confirmed");
  assert.equal(await row(page, "Quarterly figures").locator("td.glance").textContent(), "1 of 2 opened");
  // Sent in the browser's zone, like the last activity beside it.
  assert.match(await row(page, "Board pack").locator("td.sent").textContent(), /GMT\+1/);
  assert.match(await row(page, "Board pack").locator("td.activity").textContent(), /GMT\+1/);
  assert.match(await row(page, "Board pack").locator("li", { hasText: "eve@example.com" }).textContent(), /not opened/);

  // By last activity, then only what was confirmed, then the messages nobody opened.
  await page.selectOption("select[name=sort]", "activity");
  await clickThrough(page, "button:has-text('Search')");
  assert.equal((await page.locator("td.subject").allTextContents())[0], "Board pack");
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-glance-messages.png"), fullPage: true });
  await page.selectOption("select[name=seen]", "confirmed");
  await clickThrough(page, "button:has-text('Search')");
  assert.deepEqual(await page.locator("td.subject").allTextContents(), [kScriptSubject]);
  assert.equal(await page.locator("select[name=sort]").inputValue(), "activity");
  await page.selectOption("select[name=seen]", "unopened");
  await clickThrough(page, "button:has-text('Search')");
  assert.match(await page.locator("main").textContent(), /No message matches your search/);
  await clickThrough(page, "a:has-text('Show all')");
  assert.equal(await page.locator("td.subject").count(), 4);

  // The message: a line per program, Bob's five opens as one, the raw User-Agent a click away.
  await clickThrough(page, "a:has-text('Board pack')");
  const section = (who) => page.locator("section.recipient", { hasText: who });
  const bob = section("bob@example.net").locator("table.folded tbody tr");
  assert.equal(await bob.count(), 1);
  assert.match(await bob.textContent(), /Opened \(image fetched\)Outlook 2016 · Windows.*5 times/s);
  assert.equal(await bob.locator("time").count(), 2);  // first and last
  assert.equal(await bob.getByText(kOutlookAgent).isVisible(), false);
  await bob.locator("summary").click();
  assert.equal(await bob.getByText(kOutlookAgent).isVisible(), true);
  assert.match(await section("carol@example.org").locator("table.folded").textContent(), /Apple Mail · iPhone/);
  assert.match(await section("dan@example.com").locator("table.folded").textContent(), /Gmail \(image proxy\)/);
  assert.match(await section("eve@example.com").textContent(), /Nothing has happened yet/);
  assert.match(await page.locator("dd.glance").textContent(), /^3 of 4 opened$/);
  assert.match(await page.locator("dl.facts").textContent(), /Sent.*GMT\+1.*your computer's clock said/s);
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-glance-message.png"), fullPage: true });

  // The CSV begins with the byte-order mark that tells a spreadsheet it is UTF-8.
  const csv = await (await page.request.get(service.url + "/cvx/export.csv")).body();
  assert.deepEqual([...csv.subarray(0, 3)], [0xef, 0xbb, 0xbf]);
  assert.deepEqual(seen.dialogs, []);
  await context.close();
});

test("open pages update when an event comes, and their title counts the new events", async () => {
  const live = h.send(service, dir, { mode: "automatic", subject: "Live figures",
    to: ["Bob Baker <bob@example.net>"], textFile: path.join(dir, "body.txt") });
  service.passTime(11);
  const context = await h.newContext(chromium.browser, { timezoneId: "Europe/Berlin" });
  const { page, seen } = await signIn(context, "ann@example.com", kPassword);
  assert.equal(await page.title(), "Your messages - Mailwarden");
  assert.match(await row(page, "Live figures").locator("td.glance").textContent(), /^0 of 1 opened$/);

  // An image fetched while the list is open: the list shows it without a reload.
  assert.equal((await h.fetchFrom("127.0.0.2", live["bob@example.net"].image, kOutlookAgent)).status, 200);
  await page.waitForFunction(() => document.title.startsWith("(1 new) "));
  // The row itself, not the whole list: another message may already read "1 of 1 opened".
  await page.waitForFunction(() => [...document.querySelectorAll("table.messages tbody tr")].some(
    (tr) => tr.textContent.includes("Live figures") && /1 of 1 opened/.test(tr.textContent)));
  assert.equal(await page.title(), "(1 new) Your messages - Mailwarden");
  assert.match(await row(page, "Live figures").locator("li").textContent(), /opened 1×/);

  // The message's page hears of its own message's events.
  await clickThrough(page, "a:has-text('Live figures')");
  service.passTime(120);
  assert.equal((await h.fetchFrom("127.0.0.3", live["bob@example.net"].image, kIphoneAgent)).status, 200);
  await page.waitForFunction(() => document.title === "(1 new) Live figures - Mailwarden");
  await page.waitForFunction(() => document.querySelectorAll("table.folded tbody tr").length === 2);
  assert.match(await page.locator("table.folded").textContent(), /Apple Mail · iPhone/);
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-live-message.png"), fullPage: true });

  // The stream is the signed-in sender's own: none without a session, none of another's message.
  const stranger = await fetch(service.url + "/cvx/live", { redirect: "manual" });
  assert.notEqual(stranger.headers.get("content-type"), "text/event-stream; charset=utf-8");
  const bea = await h.newContext(chromium.browser);
  await signIn(bea, "bea@example.com", kBeaPassword);
  const messageId = new URL(page.url()).pathname.split("/").pop();
  assert.equal((await bea.request.get(service.url + "/cvx/live?message=" + messageId)).status(), 404);
  await bea.close();
  assert.deepEqual(seen.dialogs, []);
  await context.close();
});
