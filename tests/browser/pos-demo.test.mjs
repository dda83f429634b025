// The demo till of examples/pos-demo in headless Chromium: the page on one
// loopback origin, the service with the cashbox simulator on another; then
// an attacker's page trying what any web page can make the cashier's browser
// do, and the demo served over HTTPS from an address Chromium treats as
// public, as tills are deployed.
// Usage: node tests/browser/pos-demo.test.mjs BUILD_DIR
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createServer as createHttpsServer } from 'node:https';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, extname, join, resolve } from 'node:path';
import { createInterface } from 'node:readline';

const source = resolve(import.meta.dirname, '../..');
const build = resolve(process.argv[2] || 'build');
const { chromium } = createRequire(join(source, 'tools/npm/'))('playwright-core');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };

// A static server for the demo's files, on a free loopback port; over
// HTTPS when given a key and certificate.
function serve(folder, tls) {
  const answer = (request, response) => {
    const name = basename(new URL(request.url, 'http://page').pathname) || 'index.html';
    try {
      const body = readFileSync(join(folder, name));
      response.writeHead(200, { 'Content-Type': TYPES[extname(name)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  };
  const server = tls ? createHttpsServer(tls, answer) : createServer(answer);
  return new Promise((ready) => server.listen(0, '127.0.0.1', () => ready(server)));
}

// A self-signed certificate for the till's public name.
function certificate(folder, name) {
  const key = join(folder, 'key.pem');
  const cert = join(folder, 'cert.pem');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', `/CN=${name}`,
    '-addext', `subjectAltName=DNS:${name}`, '-keyout', key, '-out', cert], { stdio: 'ignore' });
  return { key: readFileSync(key), cert: readFileSync(cert) };
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

function fileText(path) {
  try {
    return readFileSync(path, 'utf8');
  } catch {
    return '';
  }
}

// A request straight from here, as a native till program sends it.
async function direct(service, path) {
  const answer = await fetch(service + path, { headers: { authorization: `Basic ${btoa('1:30')}` } });
  return answer.status;
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
  const httpsServer = await serve(join(source, 'examples/pos-demo'), certificate(root, 'pos.example'));
  const posOrigin = `https://pos.example:${httpsServer.address().port}`;
  const stack = await startStack(root, `${origin(pageServer)}####http://127.0.0.1:1####${posOrigin}`);
  const service = `http://127.0.0.1:${stack.port}`;
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    // Root needs --no-sandbox. The test's own names resolve to loopback,
    // no other name resolves, so nothing leaves loopback. The HTTPS page's
    // address counts as public, as a till's web front end is.
    args: ['--no-sandbox',
      '--host-resolver-rules=MAP pos.example 127.0.0.1, MAP attacker.example 127.0.0.1, '
        + 'MAP rebind.attacker.example 127.0.0.1, MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
      `--ip-address-space-overrides=127.0.0.1:${httpsServer.address().port}=public`],
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

    await attackerPage(browser, stack, service, `http://attacker.example:${foreignServer.address().port}`);
    await publicPosPage(browser, stack, service, posOrigin);
  } finally {
    await browser.close();
    pageServer.close();
    foreignServer.close();
    httpsServer.close();
    stack.process.stdin.end();
    await new Promise((done) => stack.process.on('exit', done));
    rmSync(root, { recursive: true, force: true });
  }
  console.log(`${checks.length} browser checks passed`);
}

// What another web page can make the cashier's browser send: none of it
// may change the register or the settings.
async function attackerPage(browser, stack, service, attackerOrigin) {
  const settingsFile = join(stack.root, 'opt/zelvotillgate/etc/tillgate.conf');
  const tapeFile = join(stack.root, 'tape.txt');
  const settings = fileText(settingsFile);
  const tape = fileText(tapeFile);
  // The cashier once answered the browser's login prompt for the service.
  const context = await browser.newContext({ httpCredentials: { username: '1', password: '30' } });
  const cashier = await context.newPage();
  assert.equal((await cashier.goto(`${service}/cashboxstatus.json`)).status(), 200);

  const page = await context.newPage();
  await page.goto(`${attackerOrigin}/index.html`);
  const refused = (path) => page.waitForResponse((answer) => answer.url().startsWith(service + path));
  const before = {
    atol: await accessCount(stack.log, 'POST', '/chooseatol.json', 0),
    combine: await accessCount(stack.log, 'POST', '/choosecombine.json', 0),
    open: await accessCount(stack.log, 'GET', '/cycleopen.json', 0),
  };

  let answer = refused('/chooseatol.json');
  await page.evaluate((url) => fetch(url, {
    method: 'POST', mode: 'no-cors', credentials: 'include', headers: { 'Content-Type': 'text/plain' },
    body: JSON.stringify({ transport: 'TCP', host: '10.9.9.9', port: 5555 }),
  }), `${service}/chooseatol.json`);
  assert.equal((await answer).status(), 403);
  passed('a no-cors text/plain fetch of a foreign page is refused');

  answer = refused('/choosecombine.json');
  await page.evaluate((url) => {
    const frame = document.createElement('iframe');
    frame.name = 'sink';
    document.body.append(frame);
    const form = document.createElement('form');
    Object.assign(form, { method: 'POST', action: url, enctype: 'text/plain', target: 'sink' });
    const field = document.createElement('input');
    Object.assign(field, { name: '{"cashierInn":"1","pad":"', value: '"}' });
    form.append(field);
    document.body.append(form);
    form.submit();
  }, `${service}/choosecombine.json`);
  assert.equal((await answer).status(), 403);
  passed('a text/plain form of a foreign page is refused');

  answer = refused('/cycleopen.json');
  const image = page.waitForRequest(`${service}/cycleopen.json`);
  await page.evaluate((url) => {
    document.body.append(Object.assign(document.createElement('img'), { src: url }));
  }, `${service}/cycleopen.json`);
  // Chromium keeps the stored credentials to the cashier's own pages (its
  // login cache is split by the top-level site); other browsers may send
  // them. Either way the image is refused as a cross-site no-cors request.
  const sent = await (await image).allHeaders();
  assert.deepEqual([sent['sec-fetch-site'], sent['sec-fetch-mode']], ['cross-site', 'no-cors']);
  assert.equal((await answer).status(), 403);
  passed(`an image of a foreign page is refused (credentials ${sent.authorization ? '' : 'not '}sent)`);

  // The attacker's name, re-resolved to 127.0.0.1 after the page loaded,
  // makes the service the page's own origin; CORS does not apply. (A page
  // of a public address is stopped by Chromium's local network access
  // checks too; here the page's own document comes from loopback, refused
  // as well, so only the service stands in the way.)
  const rebound = `http://rebind.attacker.example:${stack.port}`;
  const rebind = await context.newPage();
  assert.equal((await rebind.goto(`${rebound}/attack.html`)).status(), 403);
  const statuses = await rebind.evaluate(async () => {
    const open = await fetch('/cycleopen.json', { credentials: 'include' });
    const choose = await fetch('/chooseatol.json', { method: 'POST', body: '{"transport":"TCP"}' });
    return [open.status, choose.status, await open.text()];
  });
  assert.deepEqual(statuses.slice(0, 2), [403, 403]);
  assert.match(statuses[2], /^403 Forbidden: the host "rebind\.attacker\.example:\d+" is not served/);
  passed('the same page under a name rebound to 127.0.0.1 is refused');

  assert.equal(await accessCount(stack.log, 'POST', '/chooseatol.json', before.atol + 2), before.atol + 2);
  assert.equal(await accessCount(stack.log, 'POST', '/choosecombine.json', before.combine + 1), before.combine + 1);
  assert.equal(await accessCount(stack.log, 'GET', '/cycleopen.json', before.open + 2), before.open + 2);
  assert.equal(fileText(settingsFile), settings);
  assert.equal(fileText(tapeFile), tape);
  // The shift is still closed: opening it now succeeds (the receipt below
  // needs it open).
  assert.equal(await direct(service, '/cycleopen.json'), 200);
  passed("every attempt reached the service, and the settings and the register's state are unchanged");
  await context.close();
}

// The real deployment: the till's page is served over HTTPS from the
// shop's public address and calls the service on the till's loopback
// address. Chromium asks the cashier for the loopback permission first.
async function publicPosPage(browser, stack, service, posOrigin) {
  const receipts = () => fileText(join(stack.root, 'tape.txt')).split('КАССОВЫЙ ЧЕК').length - 1;

  const denied = await browser.newContext({ ignoreHTTPSErrors: true });
  const blocked = await denied.newPage();
  await logIn(blocked, posOrigin, service);
  await blocked.waitForSelector('#error:has-text("cannot be reached")');
  passed('without the loopback permission the public page cannot reach the till');
  await denied.close();

  const context = await browser.newContext({ ignoreHTTPSErrors: true });
  // Playwright grants Chromium's local network permissions under this
  // name; of them, loopback-network is the one a page needs to reach
  // 127.0.0.1 (Chromium 156).
  await context.grantPermissions(['local-network-access'], { origin: posOrigin });
  const page = await context.newPage();
  const login = page.waitForRequest(`${service}/cashboxstatus.json`);
  await logIn(page, posOrigin, service);
  await page.waitForSelector('#till', { state: 'visible' });
  assert.equal((await (await login).allHeaders()).origin, posOrigin);
  passed('the HTTPS page on a public address logs in with the loopback permission');

  const before = receipts();
  const sale = page.waitForRequest((request) => request.url() === `${service}/fiscalcheck.json`
    && request.method() === 'POST');
  await page.click('#products button:nth-child(2)');
  await page.click('#sell');
  await page.waitForSelector('#receipt', { state: 'visible' });
  const posted = await sale;
  const number = await page.getAttribute('#receipt', 'data-fiscal-doc-number');
  const replayed = await page.evaluate(async ([url, body, authorization]) => {
    const answer = await fetch(url, {
      method: 'POST', body, credentials: 'include',
      headers: { authorization, 'content-type': 'application/json' },
    });
    return [answer.status, (await answer.json()).document.fiscalDocNumber];
  }, [posted.url(), posted.postData(), (await posted.allHeaders()).authorization]);
  assert.deepEqual(replayed, [200, Number(number)]);
  assert.equal(receipts(), before + 1);
  passed('its receipt is registered once and replayed under the same session id');
  await context.close();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
