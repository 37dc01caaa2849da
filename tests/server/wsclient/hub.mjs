// Two clients of one user on the hub, as a browser-side app would be: a "web" client
// uploads a statement to the user's desktop, which receives it. Prints one JSON line
// with what was seen and exits 0 when everything arrived as sent.
//   node hub.mjs <ws url without query> <token>
import WebSocket from 'ws';

const [url, token] = process.argv.slice(2);
const content = Buffer.from('Tarih;Açıklama;Tutar\n01.11.2025;GELEN FAST AYŞE YILMAZ;1.500,00\n', 'utf8');
const seen = { desktopHello: null, webHello: null, webAck: null, relayed: null };

function open(client) {
  return new Promise((resolve, reject) => {
    const ws = new WebSocket(`${url}?token=${encodeURIComponent(token)}&client=${client}`);
    const messages = [];
    const waiters = [];
    ws.on('message', (data) => {
      messages.push(JSON.parse(data.toString()));
      while (waiters.length && messages.length) waiters.shift()(messages.shift());
    });
    ws.on('open', () => resolve({
      ws,
      next: () => new Promise((r) => (messages.length ? r(messages.shift()) : waiters.push(r))),
    }));
    ws.on('error', reject);
  });
}

const timer = setTimeout(() => {
  console.log(JSON.stringify({ ...seen, error: 'timeout' }));
  process.exit(1);
}, 20000);

const desktop = await open('desktop');
seen.desktopHello = await desktop.next();
const web = await open('web');
seen.webHello = await web.next();

web.ws.send(JSON.stringify({
  type: 'upload',
  destination: 'desktop',
  files: [{ filename: 'ekstre.csv', data: content.toString('base64') }],
}));
seen.webAck = await web.next();
const relayed = await desktop.next();
const file = relayed.files?.[0] ?? {};
seen.relayed = { filename: file.filename, same: Buffer.from(file.data ?? '', 'base64').equals(content) };

clearTimeout(timer);
desktop.ws.close();
web.ws.close();
const ok = seen.desktopHello?.type === 'ok' && seen.webHello?.type === 'ok' && seen.webAck?.type === 'ok'
  && seen.relayed.filename === 'ekstre.csv' && seen.relayed.same;
console.log(JSON.stringify(seen));
process.exit(ok ? 0 : 1);
