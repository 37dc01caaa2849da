// N WebSocket clients of one user, each uploading M statement files to the user's desktop
// client through the hub; prints one JSON line with counts and timings.
//   node wsload.mjs <ws url> <token> <clients> <uploads per client> <file size in bytes>
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../tests/server/wsclient/package.json'));
const WebSocket = require('ws');

const [url, token, clientsArg, uploadsArg, sizeArg, saboteursArg] = process.argv.slice(2);
const clients = Number(clientsArg), uploads = Number(uploadsArg), size = Number(sizeArg);
const saboteurs = Number(saboteursArg ?? 0);
const payload = Buffer.alloc(size, 'Tarih;Açıklama;Tutar\n01.11.2025;GELEN FAST;1.500,00\n').toString('base64');

function connect(kind) {
  return new Promise((resolve, reject) => {
    const ws = new WebSocket(`${url}?token=${encodeURIComponent(token)}&client=${kind}`, { maxPayload: 64 << 20 });
    ws.once('message', () => resolve(ws));   // the hub's hello
    ws.once('error', reject);
  });
}

const deadline = setTimeout(() => { console.log(JSON.stringify({ error: 'timeout' })); process.exit(1); }, 120000);
const desktop = await connect('desktop');
let relayed = 0;
desktop.on('message', () => { relayed += 1; });

// Clients misbehaving beside the others: binary frames, JSON that is no message, uploads
// without files, a wrong token, and connections dropped mid-message.
let sabotage = 0;
let sabotaging = true;
async function saboteur(n) {
  while (sabotaging) {
    try {
      const kind = sabotage++ % 4;
      if (kind === 3) {
        const ws = new WebSocket(`${url}?token=wrong-${n}&client=web`);
        await new Promise((r) => { ws.once('close', r); ws.once('error', r); });
        continue;
      }
      const ws = await connect('web');
      if (kind === 0) ws.send(Buffer.from([0, 1, 2, 255, 254]));
      if (kind === 1) ws.send('{"type": "upload", "files": [{"filename": 5}');
      if (kind === 2) ws.send(JSON.stringify({ type: 'upload', destination: 'desktop', files: [] }));
      ws.terminate();   // no close handshake
    } catch (e) { /* refused connections count as sabotage too */ }
  }
}
const saboteurRuns = Array.from({ length: saboteurs }, (_, n) => saboteur(n));

const started = process.hrtime.bigint();
const latencies = [];
let acked = 0, refused = 0;
await Promise.all(Array.from({ length: clients }, async (_, c) => {
  const ws = await connect('web');
  for (let i = 0; i < uploads; i++) {
    const sent = process.hrtime.bigint();
    ws.send(JSON.stringify({ type: 'upload', destination: 'desktop',
      files: [{ filename: `ekstre_${c}_${i}.csv`, data: payload }] }));
    const answer = await new Promise((r) => ws.once('message', (d) => r(JSON.parse(d.toString()))));
    latencies.push(Number(process.hrtime.bigint() - sent) / 1e6);
    if (answer.type === 'ok') acked += 1; else refused += 1;
  }
  ws.close();
}));
const seconds = Number(process.hrtime.bigint() - started) / 1e9;
sabotaging = false;
await Promise.all(saboteurRuns);
const waitUntil = Date.now() + 10000;
while (relayed < acked && Date.now() < waitUntil) await new Promise((r) => setTimeout(r, 20));
desktop.close();
clearTimeout(deadline);

latencies.sort((a, b) => a - b);
const pct = (p) => latencies[Math.min(latencies.length - 1, Math.floor(p * latencies.length))].toFixed(1);
console.log(JSON.stringify({ clients, uploads, bytes: size, sent: clients * uploads, acked, refused, relayed,
  sabotage,
  seconds: seconds.toFixed(2), uploadsPerSecond: (acked / seconds).toFixed(1),
  p50ms: pct(0.5), p90ms: pct(0.9), p99ms: pct(0.99) }));
process.exit(acked === clients * uploads && relayed === acked ? 0 : 1);
