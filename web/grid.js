// The routing grid on one canvas: outputs down and inputs across (or swapped),
// frozen headers, folding groups. Only the lines in view are drawn, so a
// 1536 x 1536 frame costs what its visible corner costs.

export const MARK = { routed: 'routed', pending: 'pending', refused: 'refused' };

// "CARD1  05" -> "CARD1"; a channel's group is its name without the number.
export function groupTitleOf(name) {
  const m = /^(.*?)\s*\d+$/.exec(name);
  return m && m[1] ? m[1] : name;
}

// Groups by title in order of first appearance: a card's second half (the
// upper channel bank) joins its first half.
export function buildGroups(names) {
  const byTitle = new Map();
  const groups = [];
  for (let ch = 1; ch < names.length; ch++) {
    const title = groupTitleOf(names[ch]);
    let g = byTitle.get(title);
    if (!g) {
      g = { title, channels: [] };
      byTitle.set(title, g);
      groups.push(g);
    }
    g.channels.push(ch);
  }
  return groups;
}

// The visible lines of an axis: {group, channel} (channel 0: a folded group).
// `keep(ch)` filters channels; a group keeps its place only if something shows.
export function buildLines(groups, folded, keep, groupShown) {
  const lines = [];
  const lineOf = new Int32Array(1 + groups.reduce((n, g) => n + g.channels.length, 0)).fill(-1);
  groups.forEach((g, gi) => {
    const showAll = groupShown && groupShown(g);
    const shown = showAll ? g.channels : g.channels.filter(keep);
    if (!shown.length) return;
    if (folded.has(g.title)) {
      for (const ch of g.channels) lineOf[ch] = lines.length;
      lines.push({ group: gi, channel: 0, start: true });
      return;
    }
    shown.forEach((ch, k) => {
      lineOf[ch] = lines.length;
      lines.push({ group: gi, channel: ch, start: k === 0 });
    });
  });
  return { lines, lineOf };
}

const HEADER_BAND = 16; // the group band on each header
const MIN_CELL = 4;
const MAX_CELL = 40;

export class RoutingGrid {
  constructor(host, callbacks) {
    this.host = host;
    this.cb = callbacks; // {activate(output, input, routedNow), hover(text), cursor(text)}
    this.canvas = host.querySelector('canvas');
    this.scroller = host.querySelector('.grid-scroll');
    this.spacer = host.querySelector('.grid-spacer');
    this.ctx = this.canvas.getContext('2d', { alpha: false });
    this.cell = 16;
    this.swapped = false;
    this.routedOnly = false;
    this.filter = '';
    this.folded = [new Set(), new Set()]; // [outputs, inputs] titles
    this.names = [''];
    this.inLabels = [''];
    this.outLabels = [''];
    this.routes = new Int32Array(1); // output -> input, 0 unrouted
    this.marks = new Map(); // output -> {input, mark}
    this.cursor = null; // {row, col} line indexes
    this.hover = null;
    this.stats = { firstDrawMs: null, lastDrawMs: null };
    this.queued = false;
    this.theme = {};
    this.scroller.addEventListener('scroll', () => this.requestDraw(), { passive: true });
    this.scroller.addEventListener('pointermove', (e) => this.onPointerMove(e));
    this.scroller.addEventListener('pointerleave', () => this.setHover(null));
    this.scroller.addEventListener('click', (e) => this.onClick(e));
    this.scroller.addEventListener('keydown', (e) => this.onKey(e));
    this.scroller.addEventListener('focus', () => this.onFocus());
    this.scroller.addEventListener('wheel', (e) => this.onWheel(e), { passive: false });
    this.scroller.addEventListener('touchstart', (e) => this.onTouch(e), { passive: true });
    this.scroller.addEventListener('touchmove', (e) => this.onTouch(e), { passive: false });
    this.scroller.addEventListener('touchend', () => (this.pinch = null), { passive: true });
    new ResizeObserver(() => this.layout()).observe(host);
  }

  // A frame's names [1..n], labels and routes. Read again for the same frame
  // (after a reconnect), its pending and refused marks and the cursor stay.
  setFrame(names, inLabels, outLabels, routes, sameFrame = false) {
    const t0 = performance.now();
    this.names = names;
    this.inLabels = inLabels;
    this.outLabels = outLabels;
    this.routes = routes;
    this.groups = buildGroups(names);
    if (!sameFrame) {
      this.marks.clear();
      this.cursor = null;
    }
    this.rebuild();
    if (this.cursor && (this.cursor.row >= this.rows().lines.length || this.cursor.col >= this.cols().lines.length))
      this.cursor = null;
    this.draw();
    this.stats.firstDrawMs = performance.now() - t0;
  }

  setRoute(output, input) {
    this.routes[output] = input || 0;
    const m = this.marks.get(output);
    if (m && m.mark !== MARK.refused) this.marks.delete(output);
    if (this.routedOnly) this.rebuild();
    this.announce();
    this.requestDraw();
  }

  setMark(output, input, mark) {
    if (mark) this.marks.set(output, { input, mark });
    else this.marks.delete(output);
    this.announce();
    this.requestDraw();
  }

  setLabel(channel, inLabel, outLabel) {
    this.inLabels[channel] = inLabel || '';
    this.outLabels[channel] = outLabel || '';
    this.requestDraw();
  }

  setOption(key, value) {
    this[key] = value;
    this.cursor = null;
    this.rebuild();
    this.requestDraw();
  }

  zoom(factor, anchor) {
    const old = this.cell;
    const cell = Math.max(MIN_CELL, Math.min(MAX_CELL, Math.round(old * factor)));
    if (cell === old) return;
    const a = anchor || { x: this.scroller.clientWidth / 2, y: this.scroller.clientHeight / 2 };
    const hx = this.headerW(), hy = this.headerH();
    const sx = this.scroller.scrollLeft + a.x - hx, sy = this.scroller.scrollTop + a.y - hy;
    this.cell = cell;
    this.layout();
    this.scroller.scrollLeft = (sx * cell) / old - a.x + hx;
    this.scroller.scrollTop = (sy * cell) / old - a.y + hy;
    this.requestDraw();
  }

  // Axis 0 is the rows, 1 the columns; each is outputs or inputs.
  sideOf(axis) { return (axis === 0) !== this.swapped ? 'output' : 'input'; }
  axis(side) { return side === 'output' ? this.outAxis : this.inAxis; }
  rows() { return this.axis(this.sideOf(0)); }
  cols() { return this.axis(this.sideOf(1)); }
  label(side, ch) { return (side === 'output' ? this.outLabels : this.inLabels)[ch] || ''; }

  rebuild() {
    if (!this.groups) return;
    const f = this.filter.trim().toLowerCase();
    const used = new Uint8Array(this.names.length);
    for (let o = 1; o < this.routes.length; o++) if (this.routes[o]) used[this.routes[o]] = 1;
    const matches = (side, ch) =>
      !f || this.names[ch].toLowerCase().includes(f) || this.label(side, ch).toLowerCase().includes(f);
    const titleMatches = (g) => !!f && g.title.toLowerCase().includes(f) && !this.routedOnly;
    this.outAxis = buildLines(this.groups, this.folded[0],
      (ch) => matches('output', ch) && (!this.routedOnly || this.routes[ch] > 0), titleMatches);
    this.inAxis = buildLines(this.groups, this.folded[1],
      (ch) => matches('input', ch) && (!this.routedOnly || used[ch] > 0), titleMatches);
    this.layout();
  }

  headerW() { return this.cell >= 10 ? 150 : HEADER_BAND + 8; }
  headerH() { return this.cell >= 10 ? 110 : HEADER_BAND + 8; }

  layout() {
    if (!this.outAxis) return;
    this.spacer.style.width = `${this.headerW() + this.cols().lines.length * this.cell}px`;
    this.spacer.style.height = `${this.headerH() + this.rows().lines.length * this.cell}px`;
    // The scroller's inside, so nothing is drawn under its scroll bars.
    const w = this.scroller.clientWidth, h = this.scroller.clientHeight;
    const dpr = window.devicePixelRatio || 1;
    if (this.canvas.width !== Math.round(w * dpr) || this.canvas.height !== Math.round(h * dpr)) {
      this.canvas.width = Math.round(w * dpr);
      this.canvas.height = Math.round(h * dpr);
      this.canvas.style.width = `${w}px`;
      this.canvas.style.height = `${h}px`;
    }
    this.requestDraw();
  }

  requestDraw() {
    if (this.queued) return;
    this.queued = true;
    requestAnimationFrame(() => {
      this.queued = false;
      this.draw();
    });
  }

  readTheme() {
    const s = getComputedStyle(this.host);
    const v = (name) => s.getPropertyValue(name).trim();
    this.theme = {
      bg: v('--grid-bg'), line: v('--grid-line'), group: v('--grid-group'), text: v('--text'),
      dim: v('--text-dim'), band: [v('--band-a'), v('--band-b')], hover: v('--grid-hover'),
      routed: v('--mark-routed'), pending: v('--mark-pending'), refused: v('--mark-refused'),
      cursor: v('--focus'),
    };
  }

  // Line index under a point of the scroller's view, or null.
  hit(x, y) {
    const hx = this.headerW(), hy = this.headerH();
    if (x < hx || y < hy) return null;
    const col = Math.floor((x - hx + this.scroller.scrollLeft) / this.cell);
    const row = Math.floor((y - hy + this.scroller.scrollTop) / this.cell);
    if (row >= this.rows().lines.length || col >= this.cols().lines.length) return null;
    return { row, col };
  }

  // The output and input channels of a cell (a folded line gives its group's first).
  channelsAt(row, col) {
    const first = (axis, i) => {
      const l = axis.lines[i];
      return l.channel || this.groups[l.group].channels[0];
    };
    const a = first(this.rows(), row), b = first(this.cols(), col);
    return this.swapped ? { output: b, input: a } : { output: a, input: b };
  }

  folds(row, col) {
    const r = this.rows().lines[row], c = this.cols().lines[col];
    if (!r.channel) return { axis: 0, group: r.group };
    if (!c.channel) return { axis: 1, group: c.group };
    return null;
  }

  toggleFold(axis, group) {
    const side = this.sideOf(axis);
    const set = this.folded[side === 'output' ? 0 : 1];
    const title = this.groups[group].title;
    if (set.has(title)) set.delete(title);
    else set.add(title);
    this.cursor = null;
    this.rebuild();
  }

  describe(row, col) {
    const { output, input } = this.channelsAt(row, col);
    const fold = this.folds(row, col);
    if (fold) return `${this.groups[fold.group].title} (folded): press Enter to unfold`;
    const name = (side, ch) => {
      const l = this.label(side, ch);
      return l ? `${this.names[ch]} "${l}"` : this.names[ch];
    };
    const now = this.routes[output];
    let state;
    if (now === input) state = 'routed';
    else if (now) state = `not routed (output has ${this.names[now]})`;
    else state = 'not routed';
    const m = this.marks.get(output);
    if (m && m.input === input) state = m.mark === MARK.pending ? 'pending' : 'refused';
    return `Output ${name('output', output)}, input ${name('input', input)}: ${state}`;
  }

  setHover(cell) {
    this.hover = cell;
    this.cb.hover(cell ? this.describe(cell.row, cell.col) : '');
    this.requestDraw();
  }

  onPointerMove(e) {
    const r = this.scroller.getBoundingClientRect();
    const cell = this.hit(e.clientX - r.left, e.clientY - r.top);
    if (!cell && !this.hover) return;
    if (cell && this.hover && cell.row === this.hover.row && cell.col === this.hover.col) return;
    this.setHover(cell);
  }

  // A click on a header's group band folds the group.
  onClick(e) {
    const r = this.scroller.getBoundingClientRect();
    const x = e.clientX - r.left, y = e.clientY - r.top;
    const hx = this.headerW(), hy = this.headerH();
    if (x < hx && y >= hy && x < HEADER_BAND) {
      const row = Math.floor((y - hy + this.scroller.scrollTop) / this.cell);
      const l = this.rows().lines[row];
      if (l) this.toggleFold(0, l.group);
      return;
    }
    if (y < hy && x >= hx && y < HEADER_BAND) {
      const col = Math.floor((x - hx + this.scroller.scrollLeft) / this.cell);
      const l = this.cols().lines[col];
      if (l) this.toggleFold(1, l.group);
      return;
    }
    const cell = this.hit(x, y);
    if (!cell) return;
    this.cursor = cell;
    this.activate(cell.row, cell.col);
  }

  activate(row, col) {
    const fold = this.folds(row, col);
    if (fold) {
      this.toggleFold(fold.axis, fold.group);
      return;
    }
    const { output, input } = this.channelsAt(row, col);
    this.cb.activate(output, input, this.routes[output] === input);
    this.announce();
  }

  onFocus() {
    if (!this.cursor && this.rows().lines.length && this.cols().lines.length) {
      const top = Math.floor(this.scroller.scrollTop / this.cell);
      const left = Math.floor(this.scroller.scrollLeft / this.cell);
      this.cursor = { row: Math.min(top, this.rows().lines.length - 1),
        col: Math.min(left, this.cols().lines.length - 1) };
    }
    this.announce();
    this.requestDraw();
  }

  announce() {
    if (this.cursor) this.cb.cursor(this.describe(this.cursor.row, this.cursor.col));
  }

  onKey(e) {
    const moves = { ArrowUp: [-1, 0], ArrowDown: [1, 0], ArrowLeft: [0, -1], ArrowRight: [0, 1],
      PageUp: [-16, 0], PageDown: [16, 0] };
    if (e.key === '+' || e.key === '=') { this.zoom(1.25); e.preventDefault(); return; }
    if (e.key === '-') { this.zoom(0.8); e.preventDefault(); return; }
    if (!this.cursor) {
      if (!moves[e.key]) return;
      this.onFocus(); // the first arrow after Escape brings the cursor back
    }
    if (moves[e.key]) {
      const [dr, dc] = moves[e.key];
      const rows = this.rows().lines.length, cols = this.cols().lines.length;
      this.cursor = {
        row: Math.max(0, Math.min(rows - 1, this.cursor.row + dr)),
        col: Math.max(0, Math.min(cols - 1, this.cursor.col + dc)),
      };
      this.scrollToCursor();
      this.announce();
      this.requestDraw();
      e.preventDefault();
    } else if (e.key === 'Enter' || e.key === ' ') {
      this.activate(this.cursor.row, this.cursor.col);
      e.preventDefault();
    } else if (e.key === 'Escape') {
      this.cursor = null;
      this.cb.cursor('');
      this.requestDraw();
    }
  }

  scrollToCursor() {
    const s = this.scroller, c = this.cell;
    const viewW = s.clientWidth - this.headerW(), viewH = s.clientHeight - this.headerH();
    const x = this.cursor.col * c, y = this.cursor.row * c;
    if (x < s.scrollLeft) s.scrollLeft = x;
    else if (x + c > s.scrollLeft + viewW) s.scrollLeft = x + c - viewW;
    if (y < s.scrollTop) s.scrollTop = y;
    else if (y + c > s.scrollTop + viewH) s.scrollTop = y + c - viewH;
  }

  // Ctrl+wheel zooms around the pointer; a plain wheel scrolls.
  onWheel(e) {
    if (!e.ctrlKey) return;
    e.preventDefault();
    const r = this.scroller.getBoundingClientRect();
    this.zoom(e.deltaY < 0 ? 1.15 : 1 / 1.15, { x: e.clientX - r.left, y: e.clientY - r.top });
  }

  onTouch(e) {
    if (e.touches.length !== 2) return;
    const [a, b] = e.touches;
    const d = Math.hypot(a.clientX - b.clientX, a.clientY - b.clientY);
    if (e.type === 'touchmove' && this.pinch) {
      e.preventDefault();
      if (Math.abs(d / this.pinch - 1) > 0.1) {
        this.zoom(d / this.pinch);
        this.pinch = d;
      }
    } else {
      this.pinch = d;
    }
  }

  draw() {
    if (!this.outAxis) return;
    const t0 = performance.now();
    if (!this.theme.bg) this.readTheme();
    const t = this.theme;
    const ctx = this.ctx;
    const dpr = window.devicePixelRatio || 1;
    const W = this.canvas.width / dpr, H = this.canvas.height / dpr;
    const c = this.cell, hx = this.headerW(), hy = this.headerH();
    const sl = this.scroller.scrollLeft, st = this.scroller.scrollTop;
    const rows = this.rows().lines, cols = this.cols().lines;
    const r0 = Math.max(0, Math.floor(st / c)), r1 = Math.min(rows.length, Math.ceil((st + H - hy) / c));
    const c0 = Math.max(0, Math.floor(sl / c)), c1 = Math.min(cols.length, Math.ceil((sl + W - hx) / c));
    const xOf = (col) => hx + col * c - sl;
    const yOf = (row) => hy + row * c - st;
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.fillStyle = t.bg;
    ctx.fillRect(0, 0, W, H);

    // The hover's crosshair under the lines, within the grid.
    const gridW = Math.min(W, xOf(cols.length)), gridH = Math.min(H, yOf(rows.length));
    if (this.hover) {
      ctx.fillStyle = t.hover;
      ctx.fillRect(hx, yOf(this.hover.row), gridW - hx, c);
      ctx.fillRect(xOf(this.hover.col), hy, c, gridH - hy);
    }

    // Lines: thin per channel, strong at a group's start; one path each.
    const strokeLines = (pick, colour, width) => {
      ctx.beginPath();
      for (let r = r0; r <= r1 && r <= rows.length; r++) {
        if (!pick(rows[r], r)) continue;
        const y = yOf(r) + 0.5;
        ctx.moveTo(hx, y);
        ctx.lineTo(gridW, y);
      }
      for (let k = c0; k <= c1 && k <= cols.length; k++) {
        if (!pick(cols[k], k)) continue;
        const x = xOf(k) + 0.5;
        ctx.moveTo(x, hy);
        ctx.lineTo(x, gridH);
      }
      ctx.strokeStyle = colour;
      ctx.lineWidth = width;
      ctx.stroke();
    };
    if (c >= 6) strokeLines((l) => !l || !l.start, t.line, 1);
    strokeLines((l) => !l || l.start, t.group, 1);

    // Marks: for each output in view, its route's input line.
    const outAxis = this.outAxis, inAxis = this.inAxis;
    const outRange = this.swapped ? [c0, c1] : [r0, r1];
    const inRange = this.swapped ? [r0, r1] : [c0, c1];
    const inset = c >= 10 ? 3 : c >= 6 ? 1 : 0;
    const size = Math.max(2, c - 2 * inset);
    const put = (outLine, inLine, mark) => {
      if (inLine < inRange[0] || inLine >= inRange[1]) return;
      const row = this.swapped ? inLine : outLine, col = this.swapped ? outLine : inLine;
      const x = xOf(col) + inset, y = yOf(row) + inset;
      const colour = t[mark];
      if (c < 6) {
        ctx.fillStyle = colour;
        ctx.fillRect(x, y, size, size);
        return;
      }
      ctx.beginPath();
      if (mark === MARK.refused) {
        ctx.moveTo(x, y); ctx.lineTo(x + size, y + size);
        ctx.moveTo(x + size, y); ctx.lineTo(x, y + size);
        ctx.strokeStyle = colour; ctx.lineWidth = 2; ctx.stroke();
      } else if (mark === MARK.pending) {
        ctx.arc(x + size / 2, y + size / 2, size / 2 - 1, 0, 2 * Math.PI);
        ctx.strokeStyle = colour; ctx.lineWidth = 2; ctx.stroke();
      } else {
        ctx.arc(x + size / 2, y + size / 2, size / 2, 0, 2 * Math.PI);
        ctx.fillStyle = colour; ctx.fill();
      }
    };
    for (let ol = outRange[0]; ol < outRange[1]; ol++) {
      const l = outAxis.lines[ol];
      const outs = l.channel ? [l.channel] : this.groups[l.group].channels;
      for (const o of outs) {
        const m = this.marks.get(o);
        const i = this.routes[o];
        if (i && !(m && m.mark === MARK.pending && m.input !== i)) put(ol, inAxis.lineOf[i], MARK.routed);
        if (m) put(ol, inAxis.lineOf[m.input], m.mark);
      }
    }

    if (this.cursor && document.activeElement === this.scroller) {
      ctx.strokeStyle = t.cursor;
      ctx.lineWidth = 2;
      ctx.strokeRect(xOf(this.cursor.col) + 1, yOf(this.cursor.row) + 1, c - 2, c - 2);
    }

    this.drawHeaders(ctx, { W, H, c, hx, hy, r0, r1, c0, c1, xOf, yOf });
    this.stats.lastDrawMs = performance.now() - t0;
  }

  drawHeaders(ctx, g) {
    const t = this.theme;
    const { W, H, c, hx, hy, r0, r1, c0, c1, xOf, yOf } = g;
    const rows = this.rows(), cols = this.cols();
    const rowSide = this.sideOf(0), colSide = this.sideOf(1);
    const text = c >= 10;
    const font = `${Math.min(13, Math.max(9, c - 4))}px system-ui, sans-serif`;
    const lineText = (side, l) => {
      if (!l.channel) return `${this.groups[l.group].title} (${this.groups[l.group].channels.length})`;
      const lab = this.label(side, l.channel);
      return lab ? `${this.names[l.channel]} ${lab}` : this.names[l.channel];
    };
    const highlight = (i, cell, key) => cell && cell[key] === i;

    // Row header (left), frozen horizontally.
    ctx.fillStyle = t.band[0];
    ctx.fillRect(0, hy, hx, H - hy);
    ctx.save();
    ctx.beginPath();
    ctx.rect(0, hy, hx, H - hy);
    ctx.clip();
    ctx.font = font;
    ctx.textBaseline = 'middle';
    let bandStart = null;
    for (let r = r0; r < r1; r++) {
      const l = rows.lines[r];
      const y = yOf(r);
      if (l.start || r === r0) {
        if (bandStart !== null) this.band(ctx, 0, bandStart, HEADER_BAND, y - bandStart, rows.lines[r - 1].group, true);
        bandStart = y;
      }
      if (highlight(r, this.hover, 'row') || highlight(r, this.cursor, 'row')) {
        ctx.fillStyle = t.hover;
        ctx.fillRect(HEADER_BAND, y, hx - HEADER_BAND, c);
      }
      if (text) {
        ctx.fillStyle = l.channel ? t.text : t.dim;
        ctx.fillText(lineText(rowSide, l), HEADER_BAND + 4, y + c / 2, hx - HEADER_BAND - 6);
      }
    }
    if (bandStart !== null && r1 > r0) this.band(ctx, 0, bandStart, HEADER_BAND, yOf(r1) - bandStart, rows.lines[r1 - 1].group, true);
    ctx.restore();

    // Column header (top), frozen vertically; names read upwards.
    ctx.fillStyle = t.band[0];
    ctx.fillRect(hx, 0, W - hx, hy);
    ctx.save();
    ctx.beginPath();
    ctx.rect(hx, 0, W - hx, hy);
    ctx.clip();
    ctx.font = font;
    ctx.textBaseline = 'middle';
    bandStart = null;
    for (let k = c0; k < c1; k++) {
      const l = cols.lines[k];
      const x = xOf(k);
      if (l.start || k === c0) {
        if (bandStart !== null) this.band(ctx, bandStart, 0, x - bandStart, HEADER_BAND, cols.lines[k - 1].group, false);
        bandStart = x;
      }
      if (highlight(k, this.hover, 'col') || highlight(k, this.cursor, 'col')) {
        ctx.fillStyle = t.hover;
        ctx.fillRect(x, HEADER_BAND, c, hy - HEADER_BAND);
      }
      if (text) {
        ctx.save();
        ctx.translate(x + c / 2, hy - 4);
        ctx.rotate(-Math.PI / 2);
        ctx.fillStyle = l.channel ? t.text : t.dim;
        ctx.fillText(lineText(colSide, l), 0, 0, hy - HEADER_BAND - 8);
        ctx.restore();
      }
    }
    if (bandStart !== null && c1 > c0) this.band(ctx, bandStart, 0, xOf(c1) - bandStart, HEADER_BAND, cols.lines[c1 - 1].group, false);
    ctx.restore();

    // The corner names the axes.
    ctx.fillStyle = t.band[1];
    ctx.fillRect(0, 0, hx, hy);
    if (text) {
      ctx.font = '12px system-ui, sans-serif';
      ctx.fillStyle = t.dim;
      ctx.textBaseline = 'alphabetic';
      ctx.fillText(`${colSide === 'input' ? 'Inputs' : 'Outputs'} →`, 8, hy - 24);
      ctx.fillText(`${rowSide === 'input' ? 'Inputs' : 'Outputs'} ↓`, 8, hy - 8);
    }
  }

  band(ctx, x, y, w, h, group, vertical) {
    const t = this.theme;
    ctx.fillStyle = t.band[group % 2];
    ctx.fillRect(x, y, w, h);
    ctx.strokeStyle = t.group;
    ctx.strokeRect(x + 0.5, y + 0.5, w - 1, h - 1);
    const title = this.groups[group].title;
    ctx.save();
    ctx.fillStyle = t.text;
    ctx.font = '11px system-ui, sans-serif';
    ctx.textBaseline = 'middle';
    if (vertical) {
      if (h < 30) { ctx.restore(); return; }
      ctx.translate(x + w / 2, y + h - 4);
      ctx.rotate(-Math.PI / 2);
      ctx.fillText(title, 0, 0, h - 8);
    } else {
      if (w < 30) { ctx.restore(); return; }
      ctx.fillText(title, x + 4, y + h / 2, w - 8);
    }
    ctx.restore();
  }
}
