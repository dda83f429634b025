// A till on top of Tillgate: every call is a plain cross-origin fetch() with
// the cashier's Basic credentials. See docs/openapi.yaml for the answers.
'use strict';

const PRODUCTS = [
  { name: 'Хлеб', price: 4500 },
  { name: 'Молоко', price: 8900 },
  { name: 'Кофе', price: 15000 },
];
// A 48x16 picture for the printed note, stored on the register as logo.png.
const LOGO_PNG = 'iVBORw0KGgoAAAANSUhEUgAAADAAAAAQCAAAAAB1xaNtAAAANklEQVR42mP4jw0wMPzHJc5AngYGCCBaAwMDmg4GPAB' +
  'VmigN6PoJOmlUA03iAWtMUzktkZJaAdXu0T1uPnJSAAAAAElFTkSuQmCC';
const RETRIES = 5;

const till = { service: '', authorization: '', cart: [] };
const $ = (id) => document.getElementById(id);

class ServiceError extends Error {
  constructor(status, reason, answer, text) {
    const reply = answer && answer.document;
    const why = reply && reply.message ? reply.message.resultDescription : text;
    super(`${status} ${reason}${why ? ': ' + why : ''}`);
    this.status = status;
  }
}

const kopecks = (amount) => (amount / 100).toFixed(2);
const base64 = (text) => btoa(String.fromCharCode(...new TextEncoder().encode(text)));
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function log(text) {
  const line = document.createElement('li');
  line.textContent = `${new Date().toLocaleTimeString()} ${text}`;
  $('log').prepend(line);
}

function showError(error) {
  const text = error instanceof TypeError
    ? `The service cannot be reached from this page (${error.message}): is it running, and is this page's origin in its "origins" setting?`
    : error.message;
  $('error').textContent = text;
  $('error').hidden = false;
  log(`error: ${text}`);
}

// One request; the answer's JSON, or a ServiceError carrying the register's
// reason. A network failure rejects with the browser's TypeError.
async function call(method, path, body) {
  const headers = { authorization: till.authorization };
  if (body !== undefined)
    headers['content-type'] = 'application/json';
  const response = await fetch(till.service + path, {
    method,
    headers,
    credentials: 'include',
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  const text = await response.text();
  let answer = null;
  try {
    answer = text ? JSON.parse(text) : null;
  } catch {
    answer = null;
  }
  if (!response.ok)
    throw new ServiceError(response.status, response.statusText, answer, answer ? '' : text);
  const reply = answer && answer.document;
  if (reply && reply.result)
    throw new ServiceError(response.status, response.statusText, answer, '');
  return answer;
}

// Runs an action from a button: errors end up in the banner.
function action(id, work) {
  $(id).addEventListener('click', async (event) => {
    event.preventDefault();
    $('error').hidden = true;
    $(id).disabled = true;
    try {
      await work();
    } catch (error) {
      showError(error);
    } finally {
      $(id).disabled = id === 'sell' && till.cart.length === 0;
    }
  });
}

function fill(list, entries) {
  list.replaceChildren();
  for (const [name, value] of entries) {
    const term = document.createElement('dt');
    term.textContent = name;
    const detail = document.createElement('dd');
    detail.textContent = value === undefined ? '' : String(value);
    list.append(term, detail);
  }
}

async function refresh() {
  const cashbox = (await call('GET', '/cashboxstatus.json')).cashboxStatus;
  fill($('cashbox'), [
    ['Model', cashbox.modelstr],
    ['Serial', cashbox.serial],
    ['Registration', cashbox.regNumber],
    ['Shift', cashbox.shiftOpened ? `${cashbox.cycleNumber} open` : 'closed'],
    ['Cash', kopecks(cashbox.cash || 0)],
  ]);
  const storage = (await call('GET', '/fsstatus.json')).fsStatus;
  fill($('storage'), [
    ['Number', storage.fsNumber],
    ['Phase', storage.phaseText],
    ['Last document', storage.lastDocumentNumber],
    ['Warnings', (storage.warnings || []).join(', ') || 'none'],
  ]);
}

function showCart() {
  const rows = till.cart.map((item) => {
    const row = document.createElement('tr');
    row.innerHTML = '<td></td><td></td>';
    row.cells[0].textContent = item.name;
    row.cells[1].textContent = kopecks(item.price);
    return row;
  });
  $('cart').tBodies[0].replaceChildren(...rows);
  $('total').textContent = kopecks(till.cart.reduce((sum, item) => sum + item.price, 0));
  $('sell').disabled = till.cart.length === 0;
}

// The receipt keeps its session id through every retry: the service then
// registers it once, and answers a retry with the stored document.
async function registerReceipt(items) {
  const sessionId = crypto.randomUUID();
  const total = items.reduce((sum, item) => sum + item.price, 0);
  const receipt = {
    document: {
      sessionId,
      print: 1,
      data: {
        type: 1,
        moneyType: 1,
        sum: total,
        fiscprops: items.map((item) => ({
          tag: 1059,
          fiscprops: [
            { tag: 1030, value: item.name },
            { tag: 1079, value: item.price },
            { tag: 1023, value: 1 },
            { tag: 1199, value: 6 },
            { tag: 1214, value: 4 },
            { tag: 1212, value: 1 },
          ],
        })),
      },
    },
  };
  for (let attempt = 1; ; attempt++) {
    try {
      const answer = await call('POST', '/fiscalcheck.json', receipt);
      log(`receipt ${sessionId} registered on attempt ${attempt}`);
      return answer.document;
    } catch (error) {
      // Lost on the way, time-out, or still being registered: the outcome
      // is unknown, so ask again under the same id. A refusal is final.
      const unknown = error instanceof TypeError || error.status === 507 || error.status === 524;
      if (!unknown || attempt === RETRIES)
        throw error;
      log(`receipt ${sessionId}: attempt ${attempt} failed (${error.message}), retrying with the same session id`);
      await pause(500 * attempt);
    }
  }
}

function showReceipt(receipt) {
  const box = $('receipt');
  box.replaceChildren();
  const lines = [
    `${receipt.docName} № ${receipt.checkNumber}, shift ${receipt.cycleNumber}`,
    `Total ${kopecks(receipt.total)}`,
    `Fiscal document ${receipt.fiscalDocNumber}, fiscal sign ${receipt.fiscalSign}`,
    `${receipt.dt}, session ${receipt.sessionId}`,
  ];
  for (const text of lines) {
    const line = document.createElement('div');
    line.textContent = text;
    box.append(line);
  }
  box.dataset.fiscalDocNumber = receipt.fiscalDocNumber;
  box.hidden = false;
}

function start() {
  for (const product of PRODUCTS) {
    const button = document.createElement('button');
    button.textContent = `${product.name} ${kopecks(product.price)}`;
    button.addEventListener('click', () => {
      till.cart.push(product);
      showCart();
    });
    $('products').append(button);
  }

  $('login').addEventListener('submit', async (event) => {
    event.preventDefault();
    $('error').hidden = true;
    till.service = $('service').value.replace(/\/+$/, '');
    till.authorization = 'Basic ' + base64(`${$('cashier').value}:${$('password').value}`);
    try {
      await refresh();
      $('till').hidden = false;
      log(`cashier ${$('cashier').value} logged in`);
    } catch (error) {
      showError(error);
    }
  });

  action('refresh', refresh);
  action('open-shift', async () => {
    const report = (await call('GET', '/cycleopen.json?print=1')).document;
    log(`shift ${report.cycleNumber} opened`);
    await refresh();
  });
  action('close-shift', async () => {
    const report = (await call('GET', '/cycleclose.json?print=1')).document;
    log(`shift ${report.cycleNumber} closed`);
    await refresh();
  });
  action('sell', async () => {
    const receipt = await registerReceipt(till.cart);
    till.cart = [];
    showCart();
    showReceipt(receipt);
    await refresh();
  });
  action('clear', async () => {
    till.cart = [];
    showCart();
  });
  action('print', async () => {
    await call('POST', '/printrichtext.json', {
      document: {
        images: [{ fileName: 'logo.png', image: LOGO_PNG }],
        bbcode: base64('[center][img]logo.png[/img][/center]\n[center][b]Спасибо за покупку![/b][/center]'),
      },
    });
    log('note printed');
  });
}

start();
