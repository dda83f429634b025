// The demo till of examples/pos-demo in headless Chromium: the page on one
// loopback origin, the service with the cashbox simulator on another.
// Usage: node tests/browser/pos-demo.test.mjs BUILD_DIR
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, extname, join, resolve } from 'node:path';
import { createInterface } from 'node:readline';

const source = resolve(import.meta.dirname, '../..');
const build = resolve(process.argv[2] || 'build');
const { chromium } = createRequire(join(source, 'tools/npm/'))('playwright-core');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };

// A static server for the demo's files, on a free loopback port.
function serve(folder) {
  const server = createServer((request, response) => {
    const name = basename(new URL(request.url, 'http://page').pathname) || 'index.html';
    try {
      const body = readFileSync(join(folder, name));
      response.writeHead(200, { 'Content-Type': TYPES[extname(name)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  return new Promise((ready) => server.listen(0, '127.0.0.1', () => ready(server)));
}
const origin = (server) => `http://127.0.0.1:${server.address().port}`;

// tests/support/stack.py: the service and the simulator until stdin closes.
async function startStack(root, origins) {
  const stack = spawn('python3', [join(source, 'tests/support/stack.py'), join(build, 'bin'), root,
    '--origins', origins], { stdio: ['pipe', 'pipe', 'inherit'] });
  const first = createInterface({ input: stack.stdout })[Symbol.asyncIterator]();
  const line = await first.next();
  assert.ok(!line.done, 'the service and the simulator did not start');
  return { process: stack, ...JSON.parse(line.value) };
}

// Access lines ("METHOD /path ms") are written just after the answer.
async function accessCount(log, method, path, atLeast) {
  const line = new RegExp(`${method} ${path.replace('.', '\\.')} \\d+$`, 'gm');
  const deadline = Date.now() + 10000;
  for (;;) {
    const count = (readFileSync(log, 'utf8').match(line) || []).length;
    if (count >= atLeast || Date.now() > deadline)
      return count;
    await new Promise((done) => setTimeout(done, 50));
  }
}

const checks = [];
function passed(text) {
  checks.push(text);
  console.log(`ok ${checks.length} - ${text}`);
}

async function logIn(page, pageOrigin, service) {
  await page.goto(`${pageOrigin}/index.html`);
  await page.fill('#service', service);
  await page.click('#login-button');
}

async function main() {
  const root = mkdtempSync(join(tmpdir(), 'tillgate-browser-'));
  const pageServer = await serve(join(source, 'examples/pos-demo'));
  const foreignServer = await serve(join(source, 'examples/pos-demo'));
  const stack = await startStack(root, `${origin(pageServer)}####http://127.0.0.1:1`);
  const service = `http://127.0.0.1:${stack.port}`;
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    // Root needs --no-sandbox; no name resolves, so nothing leaves loopback.
    args: ['--no-sandbox', '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'],
  });
  try {
    const page = await browser.newPage();
    const cashboxRequest = page.waitForRequest(`${service}/cashboxstatus.json`);
    await logIn(page, origin(pageServer), service);
    await page.waitForSelector('#till', { state: 'visible' });
    const headers = await (await cashboxRequest).allHeaders();
    assert.match(headers.authorization, /^Basic /);
    assert.ok(await accessCount(stack.log, 'OPTIONS', '/cashboxstatus.json', 1) >= 1);
    passed('pre-flight passes and the credentials go with the cross-origin request');
    assert.match(await page.textContent('#cashbox'), /Острак-Ф/);
    assert.match(await page.textContent('#storage'), /9999078900001234/);
    passed('cashbox and storage status shown');

    const lowerCase = await page.evaluate(async ([url, authorization]) => {
      const answer = await fetch(url, { headers: { authorization }, credentials: 'include' });
      return answer.status;
    }, [`${service}/fsstatus.json`, headers.authorization]);
    assert.equal(lowerCase, 200);
    passed('a lower-case authorization header is accepted');

    await page.click('#open-shift');
    await page.waitForSelector('#log li:has-text("opened")');
    passed('shift opened');

    // The first answer to the receipt is lost on the way back: the demo
    // must post it again under the same session id and get the same document.
    const cdp = await page.context().newCDPSession(page);
    const posted = [];
    let lostAnswer = null;
    cdp.on('Fetch.requestPaused', async (event) => {
      if (event.request.method === 'POST') {
        posted.push(JSON.parse(event.request.postData).document.sessionId);
        if (!lostAnswer) {
          const { body } = await cdp.send('Fetch.getResponseBody', { requestId: event.requestId });
          lostAnswer = JSON.parse(Buffer.from(body, 'base64').toString()).document;
          await cdp.send('Fetch.failRequest', { requestId: event.requestId, errorReason: 'ConnectionReset' });
          return;
        }
      }
      await cdp.send('Fetch.continueRequest', { requestId: event.requestId });
    });
    await cdp.send('Fetch.enable', { patterns: [{ urlPattern: '*/fiscalcheck.json', requestStage: 'Response' }] });
    await page.click('#products button:nth-child(1)');
    await page.click('#products button:nth-child(3)');
    await page.click('#sell');
    await page.waitForSelector('#receipt', { state: 'visible' });
    await cdp.send('Fetch.disable');
    assert.equal(posted.length, 2);
    assert.equal(posted[0], posted[1]);
    assert.match(posted[0], /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12}$/);
    assert.equal(await page.getAttribute('#receipt', 'data-fiscal-doc-number'), String(lostAnswer.fiscalDocNumber));
    assert.equal(lostAnswer.total, 19500);
    assert.equal(await accessCount(stack.log, 'POST', '/fiscalcheck.json', 2), 2);
    assert.equal(readFileSync(join(root, 'tape.txt'), 'utf8').split('КАССОВЫЙ ЧЕК').length - 1, 1);
    passed('receipt registered once; its retry under the same session id replays it');
    mkdirSync(join(build, 'browser'), { recursive: true });
    await page.screenshot({ path: join(build, 'browser', 'pos-demo.png'), fullPage: true });
    passed(`screenshot saved to ${join(build, 'browser', 'pos-demo.png')}`);

    await page.click('#print');
    await page.waitForSelector('#log li:has-text("note printed")');
    passed('text with a picture printed');

    await page.click('#close-shift');
    await page.waitForSelector('#log li:has-text("closed")');
    await page.click('#products button:nth-child(2)');
    await page.click('#sell');
    await page.waitForSelector('#error:has-text("Смена не открыта")');
    assert.match(await page.textContent('#error'), /^500 Internal server error: Смена не открыта/);
    passed("the register's refusal is shown with its reason");

    const foreign = await browser.newPage();
    const refusal = foreign.waitForEvent('console', (message) => /blocked by CORS policy/.test(message.text()));
    const before = await accessCount(stack.log, 'OPTIONS', '/cashboxstatus.json', 0);
    await logIn(foreign, origin(foreignServer), service);
    await refusal;
    await foreign.waitForSelector('#error:has-text("cannot be reached")');
    assert.equal(await accessCount(stack.log, 'OPTIONS', '/cashboxstatus.json', before + 1), before + 1);
    assert.ok(await foreign.isHidden('#till'));
    passed('a page from an origin outside the list is refused by the browser');
  } finally {
    await browser.close();
    pageServer.close();
    foreignServer.close();
    stack.process.stdin.end();
    await new Promise((done) => stack.process.on('exit', done));
    rmSync(root, { recursive: true, force: true });
  }
  console.log(`${checks.length} browser checks passed`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
