// The station console: draws the waterfall and the spectrum line from the
// server's WebSocket, shows its state, and tunes and sets through its JSON API.
'use strict';

const token = new URLSearchParams(location.search).get('token');
const $ = (id) => document.getElementById(id);

const view = {
  binHz: 4, dbOffset: 160, bins: 0, floor: -110, range: 50,
  status: null, signalList: [], palette: new Uint8ClampedArray(256 * 4),
};

// --- the API ---------------------------------------------------------------

async function api(path, body) {
  const headers = {};
  if (token) headers['Authorization'] = 'Bearer ' + token;
  const init = { headers, cache: 'no-store' };
  if (body !== undefined) {
    init.method = 'POST';
    headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const reply = await fetch(path, init);
  const data = await reply.json().catch(() => ({}));
  if (!reply.ok) {
    addEvent(new Date().toISOString(), 'refused: ' + (data.error || reply.status));
    return null;
  }
  return data;
}

async function tune(hz) {
  hz = Math.round(hz * 10) / 10;
  const status = await api('/api/tune', { hz });
  if (status) showStatus(status);
}

async function set(settings) {
  const status = await api('/api/settings', settings);
  if (status) showStatus(status);
}

// --- the waterfall -----------------------------------------------------------

// Dark blue through cyan, yellow and red to white.
const stops = [[0, 0, 0, 16], [0.25, 0, 40, 160], [0.5, 0, 200, 200], [0.7, 240, 230, 0], [0.88, 255, 40, 0], [1, 255, 255, 255]];

function makePalette() {
  for (let v = 0; v < 256; v++) {
    const t = Math.min(1, Math.max(0, (v - view.dbOffset - view.floor) / view.range));
    let i = 1;
    while (i < stops.length - 1 && stops[i][0] < t) i++;
    const [t0, r0, g0, b0] = stops[i - 1], [t1, r1, g1, b1] = stops[i];
    const f = (t - t0) / (t1 - t0 || 1);
    view.palette.set([r0 + f * (r1 - r0), g0 + f * (g1 - g0), b0 + f * (b1 - b0), 255], v * 4);
  }
}

function shownHz() { return view.bins * view.binHz; }

function setBins(n) {
  view.bins = n;
  for (const id of ['spectrum', 'waterfall', 'markers', 'scale']) $(id).width = n;
  $('markers').height = $('spectrum').height + $('waterfall').height;
  $('markers').setAttribute('aria-valuemax', String(Math.round(shownHz())));
  drawScale();
  drawMarkers();
}

function drawRow(bytes) {
  view.rows = (view.rows || 0) + 1;
  // From navigation start, for the benchmark's first-row figure.
  if (view.firstRowMs === undefined) view.firstRowMs = performance.now();
  if (bytes.length !== view.bins) setBins(bytes.length);
  if ($('auto-floor').checked) followNoise(bytes);
  const fall = $('waterfall').getContext('2d');
  const w = view.bins, h = $('waterfall').height;
  fall.drawImage($('waterfall'), 0, 0, w, h - 1, 0, 1, w, h - 1);
  const line = fall.createImageData(w, 1);
  for (let i = 0; i < w; i++) line.data.set(view.palette.subarray(bytes[i] * 4, bytes[i] * 4 + 4), i * 4);
  fall.putImageData(line, 0, 0);

  const trace = $('spectrum').getContext('2d');
  const sh = $('spectrum').height;
  trace.clearRect(0, 0, w, sh);
  trace.strokeStyle = '#7fd4ff';
  trace.beginPath();
  for (let i = 0; i < w; i++) {
    const t = (bytes[i] - view.dbOffset - view.floor) / view.range;
    const y = sh - 1 - Math.min(1, Math.max(0, t)) * (sh - 2);
    if (i === 0) trace.moveTo(i, y); else trace.lineTo(i, y);
  }
  trace.stroke();
}

// The floor a little below the band's median bin: the noise shows dark blue
// and every station stands out of it, whatever the input level.
function followNoise(bytes) {
  const sorted = Array.from(bytes).sort((a, b) => a - b);
  const target = sorted[sorted.length >> 1] - view.dbOffset - 6;
  view.noiseFloor = view.noiseFloor === undefined ? target : view.noiseFloor + 0.05 * (target - view.noiseFloor);
  const floor = Math.round(view.noiseFloor);
  if (floor !== view.floor) {
    view.floor = floor;
    $('floor').value = floor;
    $('floor-value').value = floor;
    makePalette();
  }
}

function drawScale() {
  const c = $('scale').getContext('2d');
  const w = view.bins;
  c.clearRect(0, 0, w, c.canvas.height);
  c.fillStyle = '#9aa3ad';
  c.font = '11px sans-serif';
  const pxPerHz = w / shownHz();
  for (let hz = 0; hz <= shownHz(); hz += 100) {
    const x = Math.round(hz * pxPerHz) + 0.5;
    const major = hz % 500 === 0;
    c.fillRect(x, 0, 1, major ? 8 : 4);
    if (major && hz > 0) c.fillText(String(hz), x - 12, 20);
  }
}

function drawMarkers() {
  const c = $('markers').getContext('2d');
  const w = c.canvas.width, h = c.canvas.height;
  c.clearRect(0, 0, w, h);
  const s = view.status;
  if (!s || !view.bins) return;
  const x = (hz) => Math.round(hz / shownHz() * w) + 0.5;
  c.lineWidth = 1;
  c.setLineDash([6, 4]);
  c.strokeStyle = '#ff4040';
  c.beginPath(); c.moveTo(x(s.tx_hz), 0); c.lineTo(x(s.tx_hz), h); c.stroke();
  c.setLineDash([]);
  c.strokeStyle = '#40ff70';
  const rx = s.rx_carrier_hz ?? s.rx_hz;
  c.beginPath(); c.moveTo(x(rx), 0); c.lineTo(x(rx), 14); c.moveTo(x(rx), h - 14); c.lineTo(x(rx), h); c.stroke();
  // About the width of a PSK31 signal.
  const half = Math.max(3, Math.round(16 / view.binHz));
  c.strokeRect(x(rx) - half, 0, 2 * half, h);
}

// A click tunes to the station whose trace it hit, else to where it was.
function hzAt(event) {
  const box = $('markers').getBoundingClientRect();
  const hz = (event.clientX - box.left) / box.width * shownHz();
  let best = null;
  for (const s of view.signalList)
    if (Math.abs(s.hz - hz) <= 15 && (!best || Math.abs(s.hz - hz) < Math.abs(best.hz - hz))) best = s;
  return best ? best.hz : hz;
}

// --- state -----------------------------------------------------------------

function fmt(value, unit, digits = 1) {
  return value === null || value === undefined ? '–' : value.toFixed(digits) + ' ' + unit;
}

function showStatus(s) {
  view.status = s;
  const rx = s.rx_carrier_hz ?? s.rx_hz;
  $('rx-readout').textContent = `${s.rx_hz.toFixed(1)} Hz` + (s.rx_carrier_hz !== null ? `, carrier ${s.rx_carrier_hz.toFixed(1)} Hz` : ', no carrier held');
  $('tx-readout').textContent = `${s.tx_hz.toFixed(1)} Hz` + (s.tx_lock ? ' (locked)' : '');
  const slider = $('markers');
  slider.setAttribute('aria-valuenow', String(Math.round(s.rx_hz)));
  slider.setAttribute('aria-valuetext', `${s.rx_hz.toFixed(1)} Hz`);
  if (document.activeElement !== $('rx-hz')) $('rx-hz').value = s.rx_hz.toFixed(1);
  $('afc').checked = s.afc;
  $('tx-lock').checked = s.tx_lock;
  $('squelch-on').checked = s.squelch !== null;
  if (s.squelch !== null && document.activeElement !== $('squelch')) $('squelch').value = s.squelch;
  if (document.activeElement !== $('tx-level')) {
    $('tx-level').value = s.tx_level_db;
    $('tx-level-value').value = s.tx_level_db.toFixed(0);
  }
  $('input-level').value = Math.max(-100, s.input_dbfs);
  $('input-dbfs').textContent = fmt(s.input_dbfs, 'dBFS');
  const overload = s.overload ? 'Overload: turn the input down' : '';
  if ($('overload').textContent !== overload) $('overload').textContent = overload;
  $('snr').textContent = fmt(s.snr_db, 'dB');
  $('imd').textContent = fmt(s.imd_db, 'dB');
  $('ptt').textContent = s.ptt ? 'keyed' : 'off';
  $('ptt').className = s.ptt ? 'on' : '';
  $('tx-time').textContent = s.transmitting ? fmt(s.tx_seconds, 's', 0) : 'not transmitting';
  $('tx-left').textContent = s.tx_limit_s === null ? 'no limit' : s.transmitting ? fmt(s.tx_left_s, 's', 0) : `${s.tx_limit_s} s`;
  $('pair').textContent = s.pair ? 'connected' : 'not connected';
  for (const row of document.querySelectorAll('#signals tbody tr'))
    row.classList.toggle('tuned', Math.abs(Number(row.dataset.hz) - rx) <= 15);
  drawMarkers();
}

// Call signs: a prefix with a digit, then letters (W1AW, DL2ABC, 9A1A).
const callSign = /\b[A-Z0-9]{0,2}[A-Z][0-9][A-Z]{1,4}\b|\b[0-9][A-Z][0-9][A-Z]{1,4}\b/g;

function withCalls(cell, text) {
  let last = 0;
  for (const m of text.matchAll(callSign)) {
    cell.append(text.slice(last, m.index));
    const mark = document.createElement('mark');
    mark.textContent = m[0];
    cell.append(mark);
    last = m.index + m[0].length;
  }
  cell.append(text.slice(last));
}

function showSignals(list) {
  view.signalList = list;
  const body = $('signals').tBodies[0];
  const rows = [];
  const rx = view.status ? (view.status.rx_carrier_hz ?? view.status.rx_hz) : null;
  for (const s of list) {
    const row = document.createElement('tr');
    row.dataset.hz = s.hz;
    if (rx !== null && Math.abs(s.hz - rx) <= 15) row.className = 'tuned';
    const first = document.createElement('td');
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = s.hz.toFixed(1);
    button.setAttribute('aria-label', `Tune to ${s.hz.toFixed(1)} Hz`);
    first.append(button);
    const snr = document.createElement('td');
    snr.textContent = s.snr_db === null ? '–' : s.snr_db.toFixed(1);
    const imd = document.createElement('td');
    imd.textContent = s.imd_db === null ? '–' : s.imd_db.toFixed(1);
    const text = document.createElement('td');
    text.className = 'text';
    withCalls(text, s.text.replace(/[\r\n]+/g, ' ').slice(-60));
    row.append(first, snr, imd, text);
    row.addEventListener('click', () => tune(s.hz));
    rows.push(row);
  }
  body.replaceChildren(...rows);
}

const maxText = 4000;

function addText(text) {
  const pre = $('rx-text');
  const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  pre.append(text.replace(/\r\n?/g, '\n'));
  if (pre.textContent.length > maxText * 2) pre.textContent = pre.textContent.slice(-maxText);
  if (atEnd) pre.scrollTop = pre.scrollHeight;
}

function addEvent(time, line) {
  const item = document.createElement('li');
  const when = document.createElement('time');
  when.dateTime = time;
  when.textContent = time.slice(11, 19) + ' ';
  item.append(when, line);
  const list = $('events');
  list.append(item);
  while (list.children.length > 100) list.firstElementChild.remove();
  list.scrollTop = list.scrollHeight;
}

// --- the stream ----------------------------------------------------------------

function connect() {
  const url = new URL('/ws', location.href);
  url.protocol = location.protocol === 'https:' ? 'wss:' : 'ws:';
  url.search = token ? '?token=' + encodeURIComponent(token) : '';
  const socket = new WebSocket(url);
  socket.binaryType = 'arraybuffer';
  socket.onopen = () => { $('connection').textContent = 'Connected'; };
  socket.onclose = () => {
    $('connection').textContent = 'Not connected: trying again';
    setTimeout(connect, 2000);
  };
  socket.onmessage = (event) => {
    if (event.data instanceof ArrayBuffer) {
      drawRow(new Uint8Array(event.data));
      return;
    }
    const message = JSON.parse(event.data);
    switch (message.type) {
    case 'hello':
      view.binHz = message.bin_hz;
      view.dbOffset = message.db_offset;
      makePalette();
      break;
    case 'status': showStatus(message); break;
    case 'signals': showSignals(message.signals); break;
    case 'text': addText(message.text); break;
    case 'event': addEvent(message.time, message.line); break;
    }
  };
}

// --- the controls ----------------------------------------------------------------

function step(event) {
  if (!view.status) return;
  const small = { ArrowLeft: -1, ArrowRight: 1 }[event.key];
  const large = { ArrowDown: -10, ArrowUp: 10, PageDown: -10, PageUp: 10 }[event.key];
  let delta = small !== undefined ? (event.shiftKey ? small * 10 : small) : large;
  if (delta === undefined) return;
  event.preventDefault();
  tune(view.status.rx_hz + delta);
}

$('markers').addEventListener('click', (event) => tune(hzAt(event)));
$('markers').addEventListener('keydown', step);
$('tune-form').addEventListener('submit', (event) => {
  event.preventDefault();
  tune(Number($('rx-hz').value));
});
$('afc').addEventListener('change', () => set({ afc: $('afc').checked }));
$('tx-lock').addEventListener('change', () => set({ tx_lock: $('tx-lock').checked }));
$('squelch-on').addEventListener('change', () => set({ squelch: $('squelch-on').checked ? Number($('squelch').value) : null }));
$('squelch').addEventListener('change', () => { if ($('squelch-on').checked) set({ squelch: Number($('squelch').value) }); });
$('tx-level').addEventListener('input', () => { $('tx-level-value').value = $('tx-level').value; });
$('tx-level').addEventListener('change', () => set({ tx_level_db: Number($('tx-level').value) }));
for (const id of ['floor', 'range']) {
  $(id).addEventListener('input', () => {
    if (id === 'floor') $('auto-floor').checked = false;
    view[id] = Number($(id).value);
    $(id + '-value').value = $(id).value;
    makePalette();
  });
}

makePalette();
connect();
