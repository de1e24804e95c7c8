// The browser page against a real velmar-server and simulated frames, in
// headless Chromium. Run inside the test namespace (ctest does):
//   node tests/web/run.mjs --build build/dev [--screenshots docs/images]
// (or --server, --ctl and --framesim naming each program)
// Exit 0 all passed, 1 a case failed, 77 skipped (no chromium or node_modules).
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
const build = resolve(arg('--build', join(here, '../../build/dev')));
const shots = arg('--screenshots', '');
const chromiumPath = arg('--chromium', '/usr/bin/chromium');
const bin = {
  server: resolve(arg('--server', join(build, 'app/velmar-server'))),
  ctl: resolve(arg('--ctl', join(build, 'app/velmarctl'))),
  sim: resolve(arg('--framesim', join(build, 'framesim/velmar-framesim'))),
};

if (!existsSync(chromiumPath) || !existsSync(join(here, 'node_modules/playwright-core'))) {
  console.log(`SKIP: needs ${chromiumPath} and tests/web/node_modules (npm ci in tests/web)`);
  process.exit(77);
}
const { chromium } = await import('playwright-core');

const PORT = 18470;
const BASE = `http://127.0.0.1:${PORT}`;
const TOKENS = { op: 'op-7f3a9c2e51d84b06', view: 'view-2b8e4d17a9c3f560' };
const work = mkdtempSync(join(tmpdir(), 'velmar-web-'));
const children = new Set();

// A child we own, resolved once a line of its output matches `ready`.
function startChild(name, file, args, ready) {
  const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  children.add(child);
  let seen = '';
  const done = new Promise((res, rej) => {
    const timer = setTimeout(() => rej(new Error(`${name} not ready: ${seen}`)), 20000);
    const look = (chunk) => {
      seen += chunk;
      if (ready.test(seen)) { clearTimeout(timer); res(child); }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', (code) => { children.delete(child); clearTimeout(timer); rej(new Error(`${name} exited ${code}: ${seen}`)); });
  });
  return done;
}

function stopChild(child) {
  if (!child || child.exitCode !== null) return Promise.resolve();
  return new Promise((res) => { child.once('exit', res); child.kill('SIGTERM'); });
}

const frameB = (extra) => startChild('framesim 461', bin.sim,
  ['--preset', '461', '--address', '127.0.0.3', '--set', 'id=2', ...extra], /on 127\.0\.0\.3/);

async function ctlRoutes() {
  const { stdout } = await promisify(execFile)(bin.ctl, ['routes', '127.0.0.2', '--json']);
  return new Map(JSON.parse(stdout).routes.map((r) => [r.output, r.input]));
}

async function waitFor(what, check, ms = 15000) {
  const end = Date.now() + ms;
  let last;
  for (;;) {
    try { if ((last = await check())) return last; } catch (e) { last = e; }
    if (Date.now() > end) throw new Error(`timed out waiting for ${what} (last: ${last})`);
    await new Promise((r) => setTimeout(r, 50)); // polling an outside process's state
  }
}

async function apiGet(path) {
  const res = await fetch(`${BASE}/api/v1${path}`, { headers: { Authorization: `Bearer ${TOKENS.op}` } });
  return res.json();
}

// --- the pages ---------------------------------------------------------------
let browser;
async function openPage(token, viewport = { width: 1280, height: 800 }, opts = {}) {
  const context = await browser.newContext({ viewport, ...opts });
  const page = await context.newPage();
  page.on('pageerror', (e) => console.log(`  page error: ${e.message}`));
  await page.goto(BASE);
  await page.waitForSelector('#signin:not([hidden])');
  if (token) {
    await page.fill('#token', token);
    await page.click('#signin-form button');
    await page.waitForSelector('#frames:not([hidden])');
    await page.waitForSelector('#link.up');
  }
  return page;
}

async function openFrame(page, id) {
  await page.click(`a[data-frame="${id}"]`);
  await page.waitForFunction((f) => window.velmar && window.velmar.grid.outAxis &&
    location.hash === `#/frame/${f}`, id);
  if (await page.isVisible('#frames')) throw new Error('the frames list shows beside one frame');
}

// The page coordinates of a crosspoint's cell, scrolled into view first.
async function cellPoint(page, output, input) {
  return page.evaluate(([o, i]) => {
    const g = window.velmar.grid;
    const row = (g.swapped ? g.inAxis : g.outAxis).lineOf[g.swapped ? i : o];
    const col = (g.swapped ? g.outAxis : g.inAxis).lineOf[g.swapped ? o : i];
    g.scroller.scrollTop = Math.max(0, row * g.cell - 100);
    g.scroller.scrollLeft = Math.max(0, col * g.cell - 100);
    const r = g.scroller.getBoundingClientRect();
    return { x: r.left + g.headerW() + col * g.cell - g.scroller.scrollLeft + g.cell / 2,
      y: r.top + g.headerH() + row * g.cell - g.scroller.scrollTop + g.cell / 2 };
  }, [output, input]);
}

const gridRoute = (page, o) => page.evaluate((out) => window.velmar.grid.routes[out], o);
const waitGridRoute = (page, o, i) => page.waitForFunction(([out, inp]) =>
  window.velmar && window.velmar.grid.routes[out] === inp, [o, i]);

// --- the cases -----------------------------------------------------------------
const cases = [];
const test = (name, fn) => cases.push({ name, fn });
let op; // the operator's page on the 460

test('a wrong token is refused with a message', async () => {
  const page = await openPage('');
  await page.fill('#token', 'not-a-token');
  await page.click('#signin-form button');
  await page.waitForFunction(() => /not valid/.test(document.getElementById('signin-error').textContent));
  if (!(await page.isVisible('#signin'))) throw new Error('sign-in form gone after a wrong token');
  await page.context().close();
});

test('the page runs under the content policy with no console error', async () => {
  const errors = [];
  const context = await browser.newContext();
  const page = await context.newPage();
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(BASE);
  await page.waitForSelector('#signin:not([hidden])');
  errors.length = 0; // the unsigned whoami's 401 is how the page learns it must ask
  await page.fill('#token', TOKENS.view);
  await page.click('#signin-form button');
  await openFrame(page, 'studio-b');
  for (const id of ['#theme', '#swap', '#zoom-in']) await page.click(id);
  await page.waitForFunction(() => document.getElementById('status').children.length > 0);
  if (errors.length) throw new Error(errors.join('; '));
  await context.close();
});

test('operator routes by click; framesim confirms', async () => {
  op = await openPage(TOKENS.op);
  await openFrame(op, 'studio-a');
  const p = await cellPoint(op, 40, 600);
  await op.mouse.click(p.x, p.y);
  await op.waitForFunction(() => /confirmed/.test(document.getElementById('message').textContent));
  await waitFor('framesim to have 40 <- 600', async () => (await ctlRoutes()).get(40) === 600);
});

test('operator routes by keyboard, the cursor named for a screen reader', async () => {
  await op.evaluate(() => { const g = window.velmar.grid; g.scroller.scrollTop = 0; g.scroller.scrollLeft = 0; });
  await op.focus('.grid-scroll');
  await op.keyboard.press('Escape'); // the cursor leaves the clicked cell; the next arrow starts at the top
  for (const key of ['ArrowDown', 'ArrowDown', 'ArrowRight', 'ArrowRight', 'ArrowRight']) await op.keyboard.press(key);
  const said = await op.textContent('#cursor-text');
  if (!/^Output CARD1 +03, input CARD1 +04: not routed/.test(said)) throw new Error(`cursor read-out: ${said}`);
  await op.keyboard.press('Enter');
  await waitFor('framesim to have 3 <- 4', async () => (await ctlRoutes()).get(3) === 4);
  await op.waitForFunction(() => /: routed$/.test(document.getElementById('cursor-text').textContent));
});

test('unroute asks first; Keep keeps, Unroute unroutes', async () => {
  const p = await cellPoint(op, 40, 600);
  for (const [answer, expect] of [['Keep', 600], ['Unroute', undefined]]) {
    await op.mouse.click(p.x, p.y);
    await op.waitForSelector('#ask[open]');
    const q = await op.textContent('#ask-text');
    if (!/Unroute CARD1 +40 \(fed by MADI +08\)/.test(q)) throw new Error(`question: ${q}`);
    await op.click(`#ask button:text("${answer}")`);
    if (expect === undefined) await waitFor('40 unrouted', async () => !(await ctlRoutes()).has(40));
    else if ((await ctlRoutes()).get(40) !== expect) throw new Error('Keep changed the route');
  }
  await waitGridRoute(op, 40, 0);
});

test('two pages see each other\'s routes and one made by velmarctl', async () => {
  const other = await openPage(TOKENS.op);
  await openFrame(other, 'studio-a');
  const p = await cellPoint(op, 100, 700);
  await op.mouse.click(p.x, p.y);
  await waitGridRoute(other, 100, 700);
  await promisify(execFile)(bin.ctl, ['route', '127.0.0.2', '200', '913']);
  await Promise.all([waitGridRoute(op, 200, 913), waitGridRoute(other, 200, 913)]);
  await other.context().close();
});

test('a viewer sees why and cannot route', async () => {
  const viewer = await openPage(TOKENS.view);
  await openFrame(viewer, 'studio-a');
  const note = await viewer.textContent('#viewer-note');
  if (!/viewer/.test(note) || !(await viewer.isVisible('#viewer-note'))) throw new Error(`note: ${note}`);
  const p = await cellPoint(viewer, 5, 6);
  await viewer.mouse.click(p.x, p.y);
  await viewer.waitForFunction(() => /viewer cannot/.test(document.getElementById('message').textContent));
  if ((await ctlRoutes()).has(5)) throw new Error('a viewer routed');
  if (await gridRoute(viewer, 5)) throw new Error('the viewer page shows a route');
  await viewer.context().close();
});

test('a frame that falls offline and comes back is shown so in place', async () => {
  await op.goto(`${BASE}/#/`);
  await op.waitForSelector('#link.up');
  const stateOf = () => op.textContent('a[data-frame="studio-b"] .state');
  await stopChild(sims.b);
  await op.waitForFunction(() => document.querySelector('a[data-frame="studio-b"] .state').textContent === 'offline',
    null, { timeout: 30000 });
  sims.b = await frameB(['--set', 'fault.refuse=scross']);
  await op.waitForFunction(() => document.querySelector('a[data-frame="studio-b"] .state').textContent === 'connected' &&
    document.querySelector('a[data-frame="studio-b"] .health').textContent === 'ok', null, { timeout: 30000 });
  if ((await stateOf()) !== 'connected') throw new Error('not back');
});

test('a refused route shows the refused mark and the reason', async () => {
  await openFrame(op, 'studio-b');
  const p = await cellPoint(op, 2, 3);
  await op.mouse.click(p.x, p.y);
  await op.waitForFunction(() => /refused/.test(document.getElementById('message').textContent));
  const mark = await op.evaluate(() => window.velmar.grid.marks.get(2));
  if (!mark || mark.mark !== 'refused' || mark.input !== 3) throw new Error(`mark: ${JSON.stringify(mark)}`);
  if (await gridRoute(op, 2)) throw new Error('refused route shown as routed');
});

test('a lost server shows at once; back, the page reads the frame again and keeps its marks', async () => {
  // Still on studio-b with the refused mark of the case before.
  await op.evaluate(() => {
    window.gridLoads = 0;
    document.addEventListener('velmar-grid', () => window.gridLoads++);
  });
  await stopChild(server);
  await op.waitForSelector('#link.down');
  await promisify(execFile)(bin.ctl, ['route', '127.0.0.2', '400', '401']);
  server = await startServer();
  await op.waitForSelector('#link.up', { timeout: 30000 });
  await op.waitForFunction(() => window.gridLoads > 0, null, { timeout: 30000 });
  const mark = await op.evaluate(() => window.velmar.grid.marks.get(2));
  if (!mark || mark.mark !== 'refused') throw new Error(`refused mark lost on reading again: ${JSON.stringify(mark)}`);
  await op.evaluate(() => { location.hash = '#/frame/studio-a'; });
  await waitGridRoute(op, 400, 401);
});

test('a phone in portrait routes one output at a time', async () => {
  const phone = await openPage(TOKENS.op, { width: 390, height: 844 }, { hasTouch: true, isMobile: true });
  await openFrame(phone, 'studio-a');
  if (await phone.isVisible('#grid')) throw new Error('the grid shows on a phone');
  await phone.selectOption('#phone-output', '300');
  await phone.selectOption('#phone-input', '77');
  await phone.click('#phone-route button');
  await waitFor('framesim to have 300 <- 77', async () => (await ctlRoutes()).get(300) === 77);
  await phone.context().close();
});

test('1536 x 1536: first full draw and a scroll frame, timed in the page', async () => {
  await op.goto(`${BASE}/#/frame/studio-a`);
  await op.reload(); // a fresh page: its first draw, not a redraw
  await op.waitForFunction(() => window.velmar && window.velmar.grid.names.length === 1537 &&
    window.velmar.grid.stats.firstDrawMs !== null);
  const t = await op.evaluate(() => {
    const g = window.velmar.grid;
    const frames = [];
    for (let k = 0; k < 40; k++) {
      g.scroller.scrollTop += 97;
      g.scroller.scrollLeft += 61;
      const t0 = performance.now();
      g.draw();
      frames.push(performance.now() - t0);
    }
    frames.sort((a, b) => a - b);
    return { lines: g.outAxis.lines.length, first: g.stats.firstDrawMs,
      median: frames[20], worst: frames[39] };
  });
  console.log(`  timing: ${t.lines} x ${t.lines} grid, first full draw ${t.first.toFixed(1)} ms, ` +
    `scroll frame median ${t.median.toFixed(2)} ms, worst ${t.worst.toFixed(2)} ms`);
  if (t.lines !== 1536) throw new Error(`expected 1536 lines, got ${t.lines}`);
});

test('find, routed only, folding and swapping change the lines', async () => {
  const lines = () => op.evaluate(() => [window.velmar.grid.rows().lines.length, window.velmar.grid.cols().lines.length]);
  const table = [
    [async () => {
      await op.focus('.grid-scroll');
      await op.keyboard.press('/');
      await op.keyboard.type('aes');
    }, ([r, c]) => r === 16 && c === 16],
    [async () => { await op.keyboard.press('Escape'); await op.check('#routed-only'); },
      ([r]) => r > 0 && r < 100],
    [async () => { await op.uncheck('#routed-only'); await op.click('#swap'); }, ([r, c]) => r === 1536 && c === 1536],
    [async () => { await op.evaluate(() => window.velmar.grid.toggleFold(0, 0)); }, ([r]) => r === 1536 - 127],
  ];
  for (const [act, ok] of table) {
    await act();
    const got = await lines();
    if (!ok(got)) throw new Error(`lines ${got} after ${act}`);
  }
});

// --- run -------------------------------------------------------------------------
const sims = {};
let server;
const tokenFile = join(work, 'tokens');
const startServer = () => startChild('velmar-server', bin.server, ['--frame', '127.0.0.2=studio-a',
  '--frame', '127.0.0.3=studio-b', '--listen', `127.0.0.1:${PORT}`, '--token-file', tokenFile,
  '--state-directory', work], /listening on/);
let failed = 0;
try {
  writeFileSync(tokenFile, `op operator ${TOKENS.op}\nview viewer ${TOKENS.view}\n`, { mode: 0o600 });
  sims.a = await startChild('framesim 460', bin.sim,
    ['--preset', '460', '--address', '127.0.0.2', '--set', "name='Studio A'",
      '--set', 'cross.1=513', '--set', 'cross.2=514'], /on 127\.0\.0\.2/);
  sims.b = await frameB([]);
  server = await startServer();
  await waitFor('both frames connected', async () =>
    (await apiGet('/frames')).frames.every((f) => f.state === 'connected'));
  browser = await chromium.launch({
    executablePath: chromiumPath,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    // playwright gives the browser a fresh profile folder of its own each run.
  });
  for (const c of cases) {
    try {
      await c.fn();
      console.log(`ok - ${c.name}`);
    } catch (e) {
      failed++;
      console.log(`not ok - ${c.name}\n  ${String(e.stack || e).split('\n').slice(0, 4).join('\n  ')}`);
    }
  }
  if (shots) await screenshots(shots);
} catch (e) {
  failed++;
  console.log(`not ok - setting up: ${e.stack || e}`);
} finally {
  if (browser) await browser.close().catch(() => {});
  for (const child of [...children].reverse()) await stopChild(child);
  rmSync(work, { recursive: true, force: true });
}
console.log(failed ? `${failed} of ${cases.length} failed` : `all ${cases.length} passed`);
process.exit(failed ? 1 : 0);

// The README's pictures: the frames list, and the grid at desktop and tablet size.
async function screenshots(dir) {
  await promisify(execFile)(bin.ctl, ['route', '127.0.0.2', '515', '657']);
  const desk = await openPage(TOKENS.op, undefined, { colorScheme: 'dark' });
  await desk.screenshot({ path: join(dir, 'web-frames.png') });
  await openFrame(desk, 'studio-a');
  await desk.check('#routed-only');
  await desk.evaluate(() => window.velmar.grid.zoom(1.25));
  const p = await cellPoint(desk, 3, 4);
  await desk.mouse.move(p.x, p.y);
  await desk.waitForFunction(() => document.getElementById('readout').textContent !== '');
  await desk.screenshot({ path: join(dir, 'web-grid.png') });
  const tablet = await openPage(TOKENS.op, { width: 1024, height: 768 }, { hasTouch: true, deviceScaleFactor: 1, colorScheme: 'light' });
  await openFrame(tablet, 'studio-a');
  // Bigger cells for fingers, scrolled to the AES inputs that feed card 1.
  await tablet.click('#zoom-in');
  await tablet.evaluate(() => { const g = window.velmar.grid; g.scroller.scrollTop = 0; g.scroller.scrollLeft = (g.inAxis.lineOf[513] - 2) * g.cell; });
  await tablet.screenshot({ path: join(dir, 'web-grid-tablet.png') });
  console.log(`screenshots in ${dir}`);
}
