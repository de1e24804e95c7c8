// The page: sign-in, the frames list and one frame's status and routing grid,
// all from velmar-server's API and its event stream.
import { RoutingGrid, MARK } from './grid.js';

const $ = (id) => document.getElementById(id);
const state = {
  token: sessionStorage.getItem('velmar-token') || '',
  who: null, // {name, role}
  frames: new Map(), // id -> summary
  frameId: null,
  ws: null,
  retry: 0,
  connected: false,
};
let grid = null;

class ApiError extends Error {
  constructor(status, body) {
    super((body && body.error) || `HTTP ${status}`);
    this.status = status;
    this.body = body;
  }
}

async function api(method, path, body) {
  const headers = {};
  if (state.token) headers.Authorization = `Bearer ${state.token}`;
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  const res = await fetch(`/api/v1${path}`, {
    method, headers, body: body === undefined ? undefined : JSON.stringify(body), cache: 'no-store',
  });
  let json = null;
  try { json = await res.json(); } catch { /* an empty or non-JSON body */ }
  if (res.status === 401) signIn(json && json.error);
  if (!res.ok) throw new ApiError(res.status, json);
  return json;
}

function show(view) {
  for (const id of ['signin', 'frames', 'frame']) $(id).hidden = id !== view;
}

function signIn(why) {
  state.who = null;
  if (state.ws) { state.ws.onclose = null; state.ws.close(); state.ws = null; }
  $('signin-error').textContent = why && state.token ? why : '';
  sessionStorage.removeItem('velmar-token');
  state.token = '';
  $('signout').hidden = true;
  $('who').textContent = '';
  setLink(false, 'signed out');
  show('signin');
  $('token').focus();
}

function canChange() { return state.who && state.who.role === 'operator'; }

async function start() {
  try {
    state.who = await api('GET', '/whoami');
  } catch (e) {
    if (e.status !== 401) { setLink(false, `server unreachable: ${e.message}`); setTimeout(start, 2000); }
    return;
  }
  $('signout').hidden = !state.token;
  $('who').textContent = state.who.name ? `${state.who.name} (${state.who.role})` : state.who.role;
  connectEvents();
  route();
}

function setLink(up, text) {
  state.connected = up;
  const el = $('link');
  el.textContent = text;
  el.className = `link ${up ? 'up' : 'down'}`;
  $('grid').classList.toggle('offline', !up || frameOffline());
}

// The event stream: the token as the first message (a browser cannot set the
// header), a hello with every frame, then one message per change. A lost
// stream reloads everything once it is back, so nothing shown is stale.
function connectEvents() {
  const proto = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const ws = new WebSocket(`${proto}//${location.host}/api/v1/events`);
  state.ws = ws;
  ws.onopen = () => { if (state.token) ws.send(JSON.stringify({ token: state.token })); };
  ws.onmessage = (e) => onEvent(JSON.parse(e.data));
  ws.onclose = (e) => {
    state.ws = null;
    if (e.code === 4401) { signIn(e.reason || 'the token is not valid'); return; }
    const delay = Math.min(10000, 500 * 2 ** state.retry++);
    setLink(false, `connection to the server lost; retrying in ${Math.round(delay / 1000)} s`);
    setTimeout(() => { if (!state.ws) connectEvents(); }, delay);
  };
}

function onEvent(m) {
  switch (m.type) {
  case 'hello':
    state.retry = 0;
    state.frames = new Map(m.frames.map((f) => [f.id, f]));
    setLink(true, 'live');
    renderFrames();
    if (state.frameId) loadFrame(state.frameId);
    break;
  case 'frame': {
    const before = state.frames.get(m.frame);
    state.frames.set(m.frame, m.summary);
    renderFrames();
    if (m.frame === state.frameId) {
      renderFrameHead();
      // Back from offline, or read for the first time (its health known):
      // its routes may have changed meanwhile.
      const readNow = (f) => f && f.state === 'connected' && f.health !== 'unknown';
      if (!readNow(before) && readNow(m.summary)) loadFrame(m.frame);
      else loadStatus(m.frame);
    }
    break;
  }
  case 'route':
    if (m.frame === state.frameId && grid) {
      grid.setRoute(m.output, m.input || 0);
      syncPhone();
    }
    break;
  case 'label':
    if (m.frame === state.frameId && grid) grid.setLabel(m.channel, m.input, m.output);
    break;
  default:
    break;
  }
}

// #/ is the frames list, #/frame/ID one frame.
function route() {
  if (!state.who) return;
  const m = /^#\/frame\/(.+)$/.exec(location.hash);
  if (m) {
    state.frameId = decodeURIComponent(m[1]);
    show('frame');
    loadFrame(state.frameId);
  } else {
    state.frameId = null;
    show('frames');
    $('crumbs').textContent = '';
    renderFrames();
  }
}

function badge(el, word) {
  el.textContent = word;
  el.className = `badge ${word}`;
}

function renderFrames() {
  const list = $('frame-list');
  list.replaceChildren(...[...state.frames.values()].map((f) => {
    const li = document.createElement('li');
    const a = document.createElement('a');
    a.href = `#/frame/${encodeURIComponent(f.id)}`;
    a.dataset.frame = f.id;
    if (f.health === 'alarm') a.classList.add('alarm');
    const name = document.createElement('div');
    name.className = 'name';
    name.textContent = f.name || f.id;
    const addr = document.createElement('div');
    addr.className = 'addr';
    addr.textContent = `${f.id} · ${f.address}${f.type ? ` · ${f.type}` : ''}`;
    const st = document.createElement('span');
    const he = document.createElement('span');
    badge(st, f.state);
    badge(he, f.health);
    st.classList.add('state');
    he.classList.add('health');
    a.append(name, addr, st, document.createTextNode(' '), he);
    li.append(a);
    return li;
  }));
}

function frameOffline() {
  const f = state.frames.get(state.frameId);
  return !!f && f.state !== 'connected';
}

function renderFrameHead() {
  const f = state.frames.get(state.frameId);
  if (!f) return;
  $('frame-title').textContent = f.name || f.id;
  $('crumbs').textContent = `${f.id} · ${f.address}`;
  badge($('frame-state'), f.state);
  badge($('frame-health'), f.health);
  $('grid').classList.toggle('offline', !state.connected || frameOffline());
  const note = $('viewer-note');
  if (!canChange()) {
    note.hidden = false;
    note.textContent = `Signed in as ${state.who.name} (viewer): you see the routes but cannot change them.`;
  } else if (f.state !== 'connected') {
    note.hidden = false;
    note.textContent = `The frame is ${f.state}: the grid shows the last routes known, and routing waits until it is back.`;
  } else {
    note.hidden = true;
  }
  $('phone-route').querySelector('button').disabled = !canChange();
}

async function loadStatus(id) {
  let s;
  try { s = await api('GET', `/frames/${encodeURIComponent(id)}`); } catch { return; }
  if (id !== state.frameId) return;
  const dl = $('status');
  const rows = [];
  const add = (k, v, bad) => rows.push([k, v == null ? 'not reported' : String(v), bad]);
  const st = s.status;
  if (!st) {
    add('State', s.offlineReason ? `${s.state}: ${s.offlineReason}` : s.state, s.state !== 'connected');
  } else {
    add('Type', st.model);
    add('Serial', st.serial);
    add('Sync', st.sync ? `${st.sync.source ?? '?'}${st.sync.locked === false ? ' (not locked)' : st.sync.locked ? ' (locked)' : ''}` : null,
      st.sync && st.sync.locked === false);
    add('Sample rate', st.sampleRate);
    for (const p of st.psu || []) if (p.fitted) add(`PSU ${p.unit}`, p.text, !p.ok);
    for (const p of st.fans || []) if (p.fitted) add(`Fan ${p.unit}`, p.text, !p.ok);
    const cards = (st.cards || []).filter((c) => c.type !== 'empty').map((c) => `${c.slot}: ${c.type}`);
    add('Cards', cards.join(', ') || 'none');
  }
  for (const p of s.problems || []) add('Problem', p, true);
  dl.replaceChildren(...rows.flatMap(([k, v, bad]) => {
    const dt = document.createElement('dt');
    dt.textContent = k;
    const dd = document.createElement('dd');
    dd.textContent = v;
    if (bad) dd.className = 'bad';
    return [dt, dd];
  }));
}

let loading = 0;
let shownFrame = null; // the frame the grid holds
async function loadFrame(id) {
  const mine = ++loading;
  renderFrameHead();
  loadStatus(id);
  let routes, labels;
  try {
    [routes, labels] = await Promise.all([
      api('GET', `/frames/${encodeURIComponent(id)}/routes`),
      api('GET', `/frames/${encodeURIComponent(id)}/labels`),
    ]);
  } catch (e) {
    if (mine === loading) message(`Could not read the frame: ${e.message}`, 'refused');
    return;
  }
  if (mine !== loading || id !== state.frameId) return;
  const n = routes.crosspoints;
  const names = [''], inLabels = [''], outLabels = [''];
  const r = new Int32Array(n + 1);
  for (const l of labels.labels) {
    names[l.channel] = l.name;
    inLabels[l.channel] = l.input || '';
    outLabels[l.channel] = l.output || '';
  }
  for (const x of routes.routes) r[x.output] = x.input || 0;
  if (!grid) grid = makeGrid();
  grid.setFrame(names, inLabels, outLabels, r, shownFrame === id);
  shownFrame = id;
  window.velmar = { grid }; // for the browser tests' timing and for a curious developer
  fillPhone(names);
  document.dispatchEvent(new CustomEvent('velmar-grid', { detail: { frame: id } }));
}

function message(text, kind) {
  const el = $('message');
  el.textContent = text;
  el.className = `message ${kind || ''}`;
}

function makeGrid() {
  return new RoutingGrid($('grid'), {
    activate: (output, input, routedNow) => {
      if (!canChange()) {
        message('A viewer cannot change routes; sign in with an operator token.', 'refused');
        return;
      }
      if (routedNow) askUnroute(output, input);
      else change(output, input);
    },
    hover: (text) => { $('readout').textContent = text; },
    cursor: (text) => { $('cursor-text').textContent = text; },
  });
}

function askUnroute(output, input) {
  const d = $('ask');
  $('ask-text').textContent = `Unroute ${grid.names[output]} (fed by ${grid.names[input]})?`;
  d.returnValue = '';
  d.onclose = () => {
    if (d.returnValue === 'yes') change(output, 0, input);
    grid.scroller.focus();
  };
  d.showModal();
  $('ask-yes').focus();
}

// One change through the API; it answers once the frame confirmed or refused.
async function change(output, input, was) {
  const id = state.frameId;
  const name = (ch) => grid.names[ch];
  grid.setMark(output, input || was, MARK.pending);
  message(input ? `Routing ${name(input)} to ${name(output)}…` : `Unrouting ${name(output)}…`);
  try {
    const path = `/frames/${encodeURIComponent(id)}/routes/${output}`;
    if (input) await api('PUT', path, { input });
    else await api('DELETE', path);
    if (id !== state.frameId) return;
    grid.setMark(output, 0, null);
    grid.setRoute(output, input);
    message(input ? `${name(input)} → ${name(output)} confirmed` : `${name(output)} unrouted`, 'ok');
  } catch (e) {
    if (id !== state.frameId) return;
    grid.setMark(output, input || was, MARK.refused);
    message(`Not done: ${e.message}`, 'refused');
  }
}

function fillPhone(names) {
  const opts = (sel, extra) => {
    sel.replaceChildren(...extra, ...names.slice(1).map((nm, i) => new Option(nm, String(i + 1))));
  };
  opts($('phone-output'), []);
  opts($('phone-input'), [new Option('(unrouted)', '0')]);
  syncPhone();
}

function syncPhone() {
  const o = Number($('phone-output').value);
  if (grid && o) $('phone-input').value = String(grid.routes[o] || 0);
}

function wire() {
  $('signin-form').addEventListener('submit', (e) => {
    e.preventDefault();
    state.token = $('token').value.trim();
    sessionStorage.setItem('velmar-token', state.token);
    $('token').value = '';
    $('signin-error').textContent = '';
    start();
  });
  $('signout').addEventListener('click', () => { signIn(''); });
  $('theme').addEventListener('click', () => {
    const root = document.documentElement;
    const dark = root.classList.contains('light')
      ? false : root.classList.contains('dark') ? true : !matchMedia('(prefers-color-scheme: light)').matches;
    root.classList.toggle('light', dark);
    root.classList.toggle('dark', !dark);
    localStorage.setItem('velmar-theme', dark ? 'light' : 'dark');
    if (grid) { grid.theme = {}; grid.requestDraw(); }
  });
  const saved = localStorage.getItem('velmar-theme');
  if (saved) document.documentElement.classList.add(saved);
  matchMedia('(prefers-color-scheme: light)').addEventListener('change', () => {
    if (grid) { grid.theme = {}; grid.requestDraw(); }
  });
  window.addEventListener('hashchange', route);
  $('find').addEventListener('input', () => grid && grid.setOption('filter', $('find').value));
  $('routed-only').addEventListener('change', () => grid && grid.setOption('routedOnly', $('routed-only').checked));
  $('swap').addEventListener('click', () => grid && grid.setOption('swapped', !grid.swapped));
  $('zoom-in').addEventListener('click', () => grid && grid.zoom(1.25));
  $('zoom-out').addEventListener('click', () => grid && grid.zoom(0.8));
  document.addEventListener('keydown', (e) => {
    if (e.key === '/' && !$('frame').hidden && document.activeElement !== $('find')) {
      e.preventDefault();
      $('find').focus();
    } else if (e.key === 'Escape' && document.activeElement === $('find')) {
      $('find').value = '';
      if (grid) {
        grid.setOption('filter', '');
        grid.scroller.focus();
      }
    }
  });
  $('phone-output').addEventListener('change', syncPhone);
  $('phone-route').addEventListener('submit', (e) => {
    e.preventDefault();
    const o = Number($('phone-output').value), i = Number($('phone-input').value);
    if (!grid || !o || !canChange()) return;
    if (i) change(o, i);
    else if (grid.routes[o]) change(o, 0, grid.routes[o]);
  });
}

wire();
start();
