// An Ember+ consumer written by someone else (node-emberplus) against
// velmar-server's Ember+ provider and simulated frames. Run inside the test
// namespace (ctest does):
//   node tests/ember/run.mjs --build build/dev
// (or --server, --ctl and --framesim naming each program). With --mock the
// same cases run against node-emberplus's own provider serving a small tree
// of the same shape (mock-provider.mjs), which needs no build.
// Exit 0 all passed, 1 a case failed, 77 skipped (no node_modules, or a
// velmar-server that has no Ember+ provider).
import { spawn, execFile } from 'node:child_process';
import { existsSync, mkdtempSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));
const arg = (name, fallback) => {
  const i = process.argv.indexOf(name);
  return i > 0 ? process.argv[i + 1] : fallback;
};
const mock = process.argv.includes('--mock');
const build = resolve(arg('--build', join(here, '../../build/dev')));
const bin = {
  server: resolve(arg('--server', join(build, 'app/velmar-server'))),
  ctl: resolve(arg('--ctl', join(build, 'app/velmarctl'))),
  sim: resolve(arg('--framesim', join(build, 'framesim/velmar-framesim'))),
};

if (!existsSync(join(here, 'node_modules/node-emberplus'))) {
  console.log('SKIP: needs tests/ember/node_modules (npm ci in tests/ember)');
  process.exit(77);
}
const { EmberClient } = (await import('node-emberplus')).default;

const EMBER_PORT = 19000;
const HTTP_PORT = 18471;
const TOKEN = 'op-5d2c8e91a7f34b60';
const run = promisify(execFile);
const TALLY = 0, MODIFIED = 1, PENDING = 2, LOCKED = 3;

// --- helpers -----------------------------------------------------------------
function check(ok, what) {
  if (!ok) throw new Error(what);
}
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

async function waitFor(what, probe, ms = 15000) {
  const end = Date.now() + ms;
  let last;
  for (;;) {
    try { if ((last = await probe())) return last; } catch (e) { last = e; }
    if (Date.now() > end) throw new Error(`timed out waiting for ${what} (last: ${last})`);
    await new Promise((r) => setTimeout(r, 50)); // polling an outside process's state
  }
}

// The sources the consumer's tree holds for a target ([] when unrouted).
const sourcesOf = (matrix, t) => (matrix.connections?.[t]?.sources ?? []).map(Number);

// Matrix updates as the consumer's subscription delivers them: a wait resolves
// on the update that makes its condition true, never on a timer.
const watchers = new Set();
const onMatrixUpdate = (matrix) => { for (const w of [...watchers]) w(matrix); };
function untilMatrix(what, matrix, cond, ms = 15000) {
  if (cond(matrix)) return Promise.resolve();
  return new Promise((res, rej) => {
    const w = (m) => {
      if (m !== matrix || !cond(m)) return;
      watchers.delete(w); clearTimeout(timer); res();
    };
    const timer = setTimeout(() => {
      watchers.delete(w);
      rej(new Error(`no matrix update for ${what}; target holds ${JSON.stringify(matrix.connections)}`.slice(0, 300)));
    }, ms);
    watchers.add(w);
  });
}

// The provider's S101 frames as they arrive, before the consumer's decoder:
// each frame's CRC is checked and each message's packets and payload counted.
const S101 = { BOF: 0xfe, EOF: 0xff, CE: 0xfd, XOR: 0x20 };
const frames = { count: 0, badCrc: 0, maxPayload: 0, messages: 0, multiPacket: 0 };
function crcOk(bytes) {
  let crc = 0xffff;
  for (const b of bytes) {
    crc ^= b;
    for (let k = 0; k < 8; k++) crc = crc & 1 ? (crc >>> 1) ^ 0x8408 : crc >>> 1;
  }
  return crc === 0xf0b8;
}
function tapFrames(socket) {
  let frame = null, escaped = false, packets = 0;
  socket.on('data', (chunk) => {
    for (const b of chunk) {
      if (b === S101.BOF) { frame = []; escaped = false; continue; }
      if (frame === null) continue;
      if (b === S101.EOF) {
        frames.count++;
        if (!crcOk(frame)) frames.badCrc++;
        // slot, message, command, version, flags, dtd, app bytes and their count, payload, CRC
        if (frame[2] === 0x00) {
          const flags = frame[4];
          frames.maxPayload = Math.max(frames.maxPayload, frame.length - 7 - frame[6] - 2);
          packets = flags & 0x80 ? 1 : packets + 1;
          if (flags & 0x40) { frames.messages++; if (packets > 1) frames.multiPacket++; }
        }
        frame = null;
        continue;
      }
      if (escaped) { frame.push(b ^ S101.XOR); escaped = false; } else if (b === S101.CE) escaped = true; else frame.push(b);
    }
  });
}

// A parameter's value as a word for enumerations, as is otherwise.
function valueOf(param) {
  const c = param.contents;
  if (c.enumMap) {
    for (const [key, pair] of c.enumMap._collection) if (Number(pair.value) === Number(c.value)) return key;
    return undefined;
  }
  if (c.enumeration != null) return c.enumeration.split('\n')[Number(c.value)];
  return c.value;
}
const childByIdentifier = (node, id) => (node.getChildren() ?? []).find((c) => c.contents?.identifier === id);
const params = (node) => Object.fromEntries((node.getChildren() ?? []).map((p) => [p.contents.identifier, p]));

// --- backends: what the consumer is checked against -------------------------------
// Each gives the frames in tree order (id, name, the truth about identity and
// status, the frame's routes with 1-based numbers), a way to route from
// elsewhere, and which frame refuses every route.
const children = new Set();
function startChild(name, file, args, ready) {
  const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  children.add(child);
  let seen = '';
  return new Promise((res, rej) => {
    const timer = setTimeout(() => rej(new Error(`${name} not ready: ${seen}`)), 20000);
    const look = (chunk) => {
      seen += chunk;
      if (ready.test(seen)) { clearTimeout(timer); res(child); }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', (code) => {
      children.delete(child); clearTimeout(timer);
      rej(Object.assign(new Error(`${name} exited ${code}: ${seen}`), { code, seen }));
    });
  });
}
function stopChild(child) {
  if (!child || child.exitCode !== null) return Promise.resolve();
  return new Promise((res) => { child.once('exit', res); child.kill('SIGTERM'); });
}

async function velmarBackend(work) {
  const sims = [
    { id: 'a', address: '127.0.0.2', preset: '460', name: 'Studio A', set: ['cross.1=513', 'cross.2=514'] },
    { id: 'b', address: '127.0.0.3', preset: '461', name: 'Studio B', set: ['id=2', 'fault.refuse=scross'] },
  ];
  for (const s of sims) {
    await startChild(`framesim ${s.preset}`, bin.sim, ['--preset', s.preset, '--address', s.address,
      '--set', `name='${s.name}'`, ...s.set.flatMap((x) => ['--set', x])], new RegExp(`on ${s.address.replace(/\./g, '\\.')}`));
  }
  const tokenFile = join(work, 'tokens');
  writeFileSync(tokenFile, `op operator ${TOKEN}\n`, { mode: 0o600 });
  const config = join(work, 'velmar-server.conf');
  writeFileSync(config, [`listen = 127.0.0.1:${HTTP_PORT}`, `token-file = ${tokenFile}`,
    `state-directory = ${work}`, ...sims.map((s) => `frame = ${s.address}=${s.id}`),
    `ember-port = ${EMBER_PORT}`, ''].join('\n'));
  try {
    await startChild('velmar-server', bin.server, ['--config', config], /listening on/);
  } catch (e) {
    if (e.code === 2 && /ember-port/.test(e.seen ?? '')) {
      console.log(`SKIP: this velmar-server has no Ember+ provider (${e.seen.trim().split('\n')[0]})`);
      return null;
    }
    throw e;
  }
  const api = async (path) => (await fetch(`http://127.0.0.1:${HTTP_PORT}/api/v1${path}`,
    { headers: { Authorization: `Bearer ${TOKEN}` } })).json();
  await waitFor('both frames connected', async () =>
    (await api('/frames')).frames.every((f) => f.state === 'connected'));
  const frames = [];
  for (const s of sims) {
    const st = JSON.parse((await run(bin.ctl, ['status', s.address, '--json'])).stdout);
    const main = st.versions.find((v) => v.name === 'main board') ?? st.versions[0];
    const fitted = (list) => list.filter((u) => u.fitted).map((u) => [u.unit, u.ok ? 'ok' : 'fault']);
    frames.push({
      id: s.id, name: st.name, outputs: st.crosspoints, inputs: st.crosspoints,
      identity: { name: st.name, type: st.model, serial: st.serial, firmware: main.version, online: true },
      status: { syncSource: st.sync.source, sampleRate: st.sampleRate,
        psu: fitted(st.psu), fan: fitted(st.fans) },
      routes: async () => new Map(JSON.parse((await run(bin.ctl, ['routes', s.address, '--json'])).stdout)
        .routes.map((r) => [r.output, r.input])),
      routeElsewhere: (out, inp) => run(bin.ctl, ['route', s.address, String(out), String(inp)]),
      // What a label shows: the frame's channel names, as velmarctl names them.
      names: async () => JSON.parse((await run(bin.ctl, ['routes', s.address, '--json'])).stdout).routes,
    });
  }
  return { frames, refusing: 1 };
}

async function mockBackend() {
  const { startMockProvider } = await import('./mock-provider.mjs');
  return startMockProvider('127.0.0.1', EMBER_PORT);
}

// --- the cases -----------------------------------------------------------------------
const cases = [];
// A case the later ones build on stops the run when it fails.
const test = (name, fn, needed = false) => cases.push({ name, fn, needed });
let backend, client;
const matrices = []; // the consumer's matrix of each frame, after the expansion

test('connects; the root holds a node per frame, by ID, named by the frame', async () => {
  client = new EmberClient({ host: '127.0.0.1', port: EMBER_PORT, timeoutValue: 5000 });
  client.on('error', (e) => console.log(`  consumer error: ${e.message ?? e}`));
  await client.connectAsync();
  tapFrames(client.socket.socket);
  await client.getDirectoryAsync();
  const roots = client.root.getChildren();
  check(same(roots.map((n) => n.getNumber()), backend.frames.map((_, i) => i + 1)), 'root numbers are not 1..frames');
  for (const [i, f] of backend.frames.entries()) {
    check(roots[i].contents.identifier === f.id, `root ${i + 1} is "${roots[i].contents.identifier}", not "${f.id}"`);
    check(roots[i].contents.description === f.name, `root ${i + 1} described "${roots[i].contents.description}"`);
  }
}, true);

test('expands the whole tree (timed)', async () => {
  const t0 = performance.now();
  await client.expandAsync();
  const ms = performance.now() - t0;
  let elements = 0;
  const count = (n) => { for (const c of n.getChildren() ?? []) { elements++; count(c); } };
  count(client.root);
  const size = backend.frames.map((f) => `${f.outputs}x${f.inputs}`).join(' + ');
  console.log(`  timing: whole tree (${size}), ${elements} elements, expanded in ${ms.toFixed(0)} ms ` +
    `(${frames.messages} messages, ${frames.multiPacket} in several packets, largest payload ${frames.maxPayload} bytes)`);
}, true);

test('S101: every frame\'s CRC holds, no packet carries over 1,024 bytes, keep-alive is answered', async () => {
  check(frames.count > 0 && frames.badCrc === 0, `${frames.badCrc} of ${frames.count} frames with a bad CRC`);
  check(frames.maxPayload <= 1024, `a packet carries ${frames.maxPayload} bytes`);
  // A matrix of a few hundred connections no longer fits one packet.
  if (backend.frames.some((f) => f.outputs >= 256)) check(frames.multiPacket > 0, 'no message was sent in several packets');
  const answer = new Promise((res) => client.socket.once('keepAlive-response', res));
  client.socket.sendKeepAliveRequest();
  await Promise.race([answer, new Promise((_, rej) => setTimeout(() => rej(new Error('no keep-alive response')), 5000))]);
});

test('the tree has its shape: identity, status, the matrix and its labels', async () => {
  for (const [i, f] of backend.frames.entries()) {
    const n = i + 1;
    const frame = client.root.getElementByPath(String(n));
    const nodes = Object.fromEntries(frame.getChildren().map((c) => [c.contents.identifier, c]));
    check(same(Object.keys(nodes).sort(), ['crosspoints', 'identity', 'labels', 'status']),
      `frame ${n} holds ${Object.keys(nodes)}`);
    check(same(['identity', 'status', 'crosspoints', 'labels'].map((k) => nodes[k].getNumber()), [1, 2, 3, 4]),
      `frame ${n}: children not numbered 1..4`);
    const identity = nodes.identity.getChildren();
    check(same(identity.map((p) => p.contents.identifier), ['name', 'type', 'serial', 'firmware', 'online']),
      `identity holds ${identity.map((p) => p.contents.identifier)}`);
    check(identity.every((p) => p.isParameter() && Number(p.contents.access ?? 1) === 1), 'identity not read-only parameters');
    const m = nodes.crosspoints;
    check(m.isMatrix() && m.type === 0 && m.mode === 0, 'crosspoints is not a linear one-to-N matrix');
    check(m.targetCount === f.outputs && m.sourceCount === f.inputs,
      `matrix ${m.targetCount}x${m.sourceCount}, frame ${f.outputs}x${f.inputs}`);
    check(m.labels?.length === 1 && m.labels[0].basePath === `${n}.4`, `labels refer to ${JSON.stringify(m.labels)}`);
    const conns = Object.values(m.connections ?? {});
    check(conns.length === f.outputs, `${conns.length} connections for ${f.outputs} targets`);
    check(conns.every((c) => (c.sources ?? []).length <= 1), 'a target with more than one source');
    const labels = Object.fromEntries(nodes.labels.getChildren().map((c) => [c.getNumber(), c]));
    for (const [num, side, count] of [[1, 'targets', f.outputs], [2, 'sources', f.inputs]]) {
      const list = labels[num]?.getChildren() ?? [];
      check(labels[num]?.contents.identifier === side, `labels.${num} is not ${side}`);
      check(list.length === count && list.every((p) => typeof p.contents.value === 'string'),
        `${list.length} ${side} labels for ${count}`);
      check(same(list.map((p) => p.getNumber()).sort((a, b) => a - b), [...Array(count).keys()]),
        `${side} labels are not numbered by 0-based ${side.slice(0, -1)}`);
    }
    matrices[i] = m;
  }
}, true);

test('identity, status, labels and routes are the frame\'s', async () => {
  for (const [i, f] of backend.frames.entries()) {
    const frame = client.root.getElementByPath(String(i + 1));
    const id = params(childByIdentifier(frame, 'identity'));
    for (const [k, want] of Object.entries(f.identity)) {
      check(valueOf(id[k]) === want, `frame ${f.id} identity ${k} = ${JSON.stringify(valueOf(id[k]))}, frame says ${JSON.stringify(want)}`);
    }
    const st = params(childByIdentifier(frame, 'status'));
    check(valueOf(st.syncSource) === f.status.syncSource, `syncSource ${valueOf(st.syncSource)}, frame ${f.status.syncSource}`);
    check(st.syncSource.contents.enumMap != null, 'syncSource has no enumeration map');
    check(valueOf(st.sampleRate) === f.status.sampleRate, `sampleRate ${valueOf(st.sampleRate)}, frame ${f.status.sampleRate}`);
    for (const unit of ['psu', 'fan']) {
      for (const [n, word] of f.status[unit]) {
        check(valueOf(st[`${unit}${n}`] ?? { contents: {} }) === word, `${unit}${n} is not "${word}"`);
      }
    }
    const routes = await f.routes();
    const m = matrices[i];
    for (let t = 0; t < f.outputs; t++) {
      const want = routes.has(t + 1) ? [routes.get(t + 1) - 1] : [];
      check(same(sourcesOf(m, t), want), `target ${t} holds ${sourcesOf(m, t)}, frame ${want}`);
    }
    const labels = childByIdentifier(frame, 'labels');
    for (const r of await f.names()) {
      check(labels.getElementByPath(`${i + 1}.4.1.${r.output - 1}`)?.contents.value === r.outputName, `target label of ${r.output}`);
      check(labels.getElementByPath(`${i + 1}.4.2.${r.input - 1}`)?.contents.value === r.inputName, `source label of ${r.input}`);
    }
  }
});

test('subscribes to the matrix; a GetDirectory after it is still answered', async () => {
  for (const [i, m] of matrices.entries()) {
    // The explicit command (node-emberplus's subscribeAsync sends it for streams
    // only), then a GetDirectory, which subscribes in Ember+ by itself.
    client.socket.sendBERNode(m.subscribe(onMatrixUpdate));
    const answer = await client.getDirectoryAsync(m, onMatrixUpdate);
    const got = answer.getElementByPath(m.getPath());
    check(got?.isMatrix() && Object.keys(got.connections ?? {}).length === backend.frames[i].outputs,
      `the matrix answered with ${Object.keys(got?.connections ?? {}).length} connections`);
  }
});

// The answer to a connection request: the matrix with the target's connection.
function answered(answer, t, allowed = [TALLY, MODIFIED, PENDING]) {
  const c = answer?.connections?.[t];
  check(c, `no connection for target ${t} in the answer`);
  check(allowed.includes(c.disposition ?? TALLY), `disposition ${c.disposition}`);
  return c;
}

test('routes through the matrix (connect, absolute); the frame follows', async () => {
  const [f, m] = [backend.frames[0], matrices[0]];
  const table = [
    ['connect', (t, s) => client.matrixConnectAsync(m, t, [s]), 3, 6],
    ['absolute', (t, s) => client.matrixSetConnection(m, t, [s]), 5, 2],
    ['connect over a route', (t, s) => client.matrixConnectAsync(m, t, [s]), 3, 1],
  ];
  for (const [how, request, t, s] of table) {
    answered(await request(t, s), t);
    await waitFor(`${how}: the frame to route ${t + 1} <- ${s + 1}`, async () => (await f.routes()).get(t + 1) === s + 1);
    await untilMatrix(`${how}: target ${t}`, m, (x) => same(sourcesOf(x, t), [s]));
  }
});

test('a route made elsewhere arrives as a matrix update', async () => {
  const [f, m] = [backend.frames[0], matrices[0]];
  const t = f.outputs - 1, s = f.inputs - 3;
  const seen = untilMatrix(`target ${t} <- ${s}`, m, (x) => same(sourcesOf(x, t), [s]));
  await f.routeElsewhere(t + 1, s + 1);
  await seen;
});

test('a refused route is answered unchanged and stays so', async () => {
  const i = backend.refusing;
  const [f, m] = [backend.frames[i], matrices[i]];
  const t = 2, s = 3;
  const before = sourcesOf(m, t);
  check(!same(before, [s]), 'the refused route is already made');
  // node-emberplus's own provider answers a refusal "locked"; ours "tally".
  const c = answered(await client.matrixConnectAsync(m, t, [s]), t, [TALLY, PENDING, LOCKED]);
  // A pending answer is followed by the frame's verdict: the unchanged connection.
  if ((c.disposition ?? TALLY) === PENDING) {
    await untilMatrix('the refusal after pending', m, (x) => same(sourcesOf(x, t), before));
  } else {
    check(same((c.sources ?? []).map(Number), before), `answered ${c.sources}, was ${before}`);
  }
  check(same(sourcesOf(m, t), before), `the consumer shows ${sourcesOf(m, t)}`);
  const routes = await f.routes();
  check(same(routes.has(t + 1) ? [routes.get(t + 1) - 1] : [], before), 'the frame changed');
});

test('disconnect unroutes the target', async () => {
  const [f, m] = [backend.frames[0], matrices[0]];
  const t = 3;
  check(sourcesOf(m, t).length === 1, 'nothing to disconnect');
  answered(await client.matrixDisconnectAsync(m, t, sourcesOf(m, t)), t);
  await waitFor(`the frame to unroute ${t + 1}`, async () => !(await f.routes()).has(t + 1));
  await untilMatrix(`target ${t} unrouted`, m, (x) => sourcesOf(x, t).length === 0);
});

// --- run -----------------------------------------------------------------------------
const work = mkdtempSync(join(tmpdir(), 'velmar-ember-'));
let failed = 0;
try {
  backend = mock ? await mockBackend() : await velmarBackend(work);
  if (!backend) {
    for (const child of [...children].reverse()) await stopChild(child);
    rmSync(work, { recursive: true, force: true });
    process.exit(77);
  }
  console.log(mock ? '# against node-emberplus\'s own provider (--mock)' : '# against velmar-server');
  for (const c of cases) {
    try {
      await c.fn();
      console.log(`ok - ${c.name}`);
    } catch (e) {
      failed++;
      console.log(`not ok - ${c.name}\n  ${String(e.stack || e).split('\n').slice(0, 4).join('\n  ')}`);
      if (c.needed) break;
    }
  }
} catch (e) {
  failed++;
  console.log(`not ok - setting up: ${e.stack || e}`);
} finally {
  if (client) await client.disconnectAsync().catch(() => {});
  if (backend?.close) await backend.close();
  for (const child of [...children].reverse()) await stopChild(child);
  rmSync(work, { recursive: true, force: true });
}
console.log(failed ? `${failed} of ${cases.length} failed` : `all ${cases.length} passed`);
process.exit(failed ? 1 : 0);
