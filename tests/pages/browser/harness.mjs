// What the browser tests need around the browser: mailwarden on a throw-away
// database, the corvanta program sending as the stand-in Outlook, the
// recipients' mail programs on other loopback addresses, and Chromium.
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

export const mailwardenPath = process.env.MAILWARDEN;
export const corvantaPath = process.env.CORVANTA;
export const screenshotDir = process.env.SCREENSHOT_DIR || os.tmpdir();
const chromiumPath = process.env.CHROMIUM || "/usr/bin/chromium";

export function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), "mailwarden-pages-"));
}

// `mailwarden account ...` on the database; input goes to standard input.
export function account(database, args, input) {
  return execFileSync(mailwardenPath, ["account", ...args, "--database", database], {
    input: input ?? "",
    encoding: "utf8",
  });
}

// Starts `mailwarden serve` and waits for its line with the real port. Its
// clock runs ahead of the system's by what passTime has added (a file in dir).
export async function startService(database, dir, extra = []) {
  const clockFile = path.join(dir, "clock-ahead");
  let ahead = 0;
  fs.writeFileSync(clockFile, "0");
  const child = spawn(mailwardenPath, ["serve", "--listen", "127.0.0.1:0", "--database", database,
    "--testing-clock-file", clockFile, ...extra], {
    stdio: ["ignore", "pipe", "pipe"],
  });
  let stderr = "";
  child.stderr.on("data", (chunk) => (stderr += chunk));
  const url = await new Promise((resolve, reject) => {
    let out = "";
    // Only a bound on a hang: a sanitizer build on a busy machine starts slowly.
    const timer = setTimeout(() => reject(new Error("mailwarden did not start:\n" + stderr)), 60000);
    child.stdout.on("data", (chunk) => {
      out += chunk;
      const match = out.match(/mailwarden listening on (http:\/\/[^\s]+)/);
      if (match) {
        clearTimeout(timer);
        resolve(match[1].replace(/\/$/, ""));
      }
    });
    child.on("exit", (code) => reject(new Error(`mailwarden ended with ${code}:\n${stderr}`)));
  });
  return {
    url,
    host: new URL(url).host,
    // Moves the service's clock on by whole seconds, at once; renamed into
    // place, so the service never reads a half-written file.
    passTime: (seconds) => {
      ahead += seconds;
      fs.writeFileSync(clockFile + ".new", String(ahead));
      fs.renameSync(clockFile + ".new", clockFile);
    },
    stop: () =>
      new Promise((resolve) => {
        if (child.exitCode !== null) return resolve();
        child.on("exit", resolve);
        child.kill("SIGTERM");
      }),
  };
}

// One message sent as the user would press a button of the add-in; the
// copies that left, by recipient address, with the links in their HTML.
export function send(service, dir, { mode, subject, to = [], cc = [], htmlFile, textFile }) {
  const args = ["send", "--service", service.host, "--accept-terms", "--from", "Ann Sender <ann@example.com>",
    "--store", path.join(dir, "store"), "--registry", path.join(dir, "registry.reg"), "--mode", mode,
    "--subject", subject];
  for (const person of to) args.push("--to", person);
  for (const person of cc) args.push("--cc", person);
  if (htmlFile) args.push("--html", htmlFile);
  if (textFile) args.push("--text", textFile);
  const out = execFileSync(corvantaPath, args, { encoding: "utf8" });
  const copies = {};
  for (const match of out.matchAll(/sent to .*<([^>]+)> \((?:To|Cc|Bcc)\): (.+\.eml)/g)) {
    copies[match[1]] = links(fs.readFileSync(match[2], "utf8"));
  }
  return copies;
}

function links(eml) {
  const html = eml
    .replace(/=\r?\n/g, "")
    .replace(/=([0-9A-F]{2})/g, (_, hex) => String.fromCharCode(parseInt(hex, 16)));
  const find = (pattern) => (html.match(pattern) || [])[1];
  return {
    image: find(/<img width="1" height="1" src="([^"]+)"/),
    receipt: find(/<a href="([^"]*wrenna\.php\?[^"]+)"/),
    read: find(/<a href="([^"]*tovik\.php\?[^"]+)"/),
  };
}

// A GET from another loopback address, as a recipient's mail program.
export function fetchFrom(sourceAddress, url, userAgent) {
  return new Promise((resolve, reject) => {
    const request = http.get(url, { localAddress: sourceAddress, headers: { "User-Agent": userAgent } }, (reply) => {
      let body = "";
      reply.setEncoding("utf8");
      reply.on("data", (chunk) => (body += chunk));
      reply.on("end", () => resolve({ status: reply.statusCode, body }));
    });
    request.on("error", reject);
  });
}

// An HTTP proxy on 127.0.0.1 that reaches the service from another
// loopback address, so a browser can play a recipient elsewhere.
export async function recipientProxy(sourceAddress) {
  const server = http.createServer((request, reply) => {
    const target = new URL(request.url);
    const upstream = http.request(
      { host: target.hostname, port: target.port, path: target.pathname + target.search, method: request.method,
        headers: request.headers, localAddress: sourceAddress },
      (answer) => {
        reply.writeHead(answer.statusCode, answer.headers);
        answer.pipe(reply);
      });
    upstream.on("error", () => reply.destroy());
    request.pipe(upstream);
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return { server: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

// Playwright starts Chromium with an empty profile folder of its own (it
// refuses a --user-data-dir of ours) and removes it at close.
export async function launchChromium() {
  const browser = await chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--proxy-bypass-list=<-loopback>"],
  });
  return { browser, close: () => browser.close() };
}

// A browser context that gives up on a missing element in 30 seconds: only a
// bound on a hang, never reached in a passing run however slow the machine.
export async function newContext(browser, options = {}) {
  const context = await browser.newContext(options);
  context.setDefaultTimeout(30000);
  return context;
}

// Every dialog and console line of a page, to show that no script of a
// message or a subject ran.
export function watch(page) {
  const seen = { dialogs: [], console: [] };
  page.on("dialog", async (dialog) => {
    seen.dialogs.push(dialog.message());
    await dialog.dismiss();
  });
  page.on("console", (message) => seen.console.push(message.text()));
  return seen;
}

export { net };
