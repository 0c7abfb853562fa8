// The settings page in Debian's Chromium: the sender chooses a daily digest
// in their time zone and adds a webhook; the choice holds on the next visit
// and for `mailwarden account notify`, the webhook's secret is shown once.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { after, before, test } from "node:test";
import * as h from "./harness.mjs";

const kPassword = "Ann's long password";
let dir, database, service, chromium;

before(async () => {
  dir = h.tempDir();
  database = "sqlite:" + path.join(dir, "mailwarden.db");
  h.account(database, ["add", "ann@example.com", "--credit", "50"]);
  h.account(database, ["password", "ann@example.com"], kPassword + "\n");
  service = await h.startService(database, dir, ["--webhooks-allow-private"]);
  chromium = await h.launchChromium();
});

after(async () => {
  await chromium?.close();
  await service?.stop();
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

async function submit(page, button) {
  await page.click(button);
  await page.waitForLoadState("load");
}

test("the sender sets their notices and adds a webhook on the settings page", async () => {
  const context = await h.newContext(chromium.browser);
  const page = await context.newPage();
  await page.goto(service.url + "/cvx/");
  await page.fill("input[name=address]", "ann@example.com");
  await page.fill("input[name=password]", kPassword);
  await submit(page, "button:has-text('Sign in')");
  await submit(page, "nav a:has-text('Settings')");
  await page.waitForSelector("h1:has-text('Settings')");
  // Mail for each event in UTC until the sender chooses otherwise.
  assert.equal(await page.isChecked("input[name=mail][value=each]"), true);
  assert.equal(await page.inputValue("input[name=zone]"), "UTC");
  assert.match(await page.textContent("main"), /sends no mail yet/);

  // A zone that is none is refused, and nothing changes.
  await page.check("input[name=mail][value=daily]");
  await page.fill("input[name=zone]", "Europe/Nowhere");
  await submit(page, "form.settings button:has-text('Save')");
  assert.match(await page.textContent("p.notice.error"), /no time zone we know/);
  assert.match(h.account(database, ["notify", "ann@example.com"]), /mail notices each, time zone UTC/);

  await page.check("input[name=mail][value=daily]");
  await page.fill("input[name=zone]", "Europe/Berlin");
  await submit(page, "form.settings button:has-text('Save')");
  assert.match(await page.textContent("p.notice"), /saved/);
  assert.match(h.account(database, ["notify", "ann@example.com"]), /mail notices daily, time zone Europe\/Berlin/);

  // A webhook off the web is refused; one on loopback is taken here, where the service allows it.
  await page.fill("input[name=url]", "ftp://example.com/events");
  await submit(page, "button:has-text('Add webhook')");
  assert.match(await page.textContent("p.notice.error"), /must start with http:\/\/ or https:\/\//);
  await page.fill("input[name=url]", "http://127.0.0.1:9/events");
  await submit(page, "button:has-text('Add webhook')");
  const secret = (await page.textContent("code.key")).trim();
  assert.match(secret, /^whsec_[0-9a-f]{64}$/);
  assert.match(await page.textContent("table.webhooks"), /http:\/\/127\.0\.0\.1:9\/events\s*Working/);
  await page.screenshot({ path: path.join(h.screenshotDir, "pages-settings.png"), fullPage: true });

  // On the next visit the choices hold and the secret is not shown again.
  await page.goto(service.url + "/cvx/settings");
  assert.equal(await page.isChecked("input[name=mail][value=daily]"), true);
  assert.equal(await page.inputValue("input[name=zone]"), "Europe/Berlin");
  assert.equal(await page.locator("code.key").count(), 0);
  assert.equal(await page.content().then((html) => html.includes(secret)), false);
  assert.match(h.account(database, ["webhook", "ann@example.com", "list"]), /127\.0\.0\.1:9\/events/);

  await submit(page, "table.webhooks button:has-text('Remove')");
  assert.match(await page.textContent("main"), /No webhooks\./);
  await context.close();
});
