// One route through velmar-server's Ember+ provider, as a control system
// makes it: the demo's Ember+ consumer (node-emberplus, from tests/ember).
//   node tests/ember/route.mjs HOST:PORT FRAME OUTPUT INPUT
// FRAME is the frame's node number (1 for the first configured frame);
// OUTPUT and INPUT count from 1, as on the frame. Prints the frame's answer.
// Exit 0 routed, 1 not routed, 2 bad arguments.
const [where, frameArg, outArg, inArg] = process.argv.slice(2);
const [host, portText] = (where ?? '').split(':');
const [frame, output, input, port] = [frameArg, outArg, inArg, portText].map(Number);
if (!host || ![frame, output, input, port].every((n) => Number.isInteger(n) && n > 0)) {
  console.error('usage: node tests/ember/route.mjs HOST:PORT FRAME OUTPUT INPUT');
  process.exit(2);
}
const { EmberClient } = (await import('node-emberplus')).default;
const client = new EmberClient({ host, port, timeoutValue: 5000 });
client.on('error', () => {});
try {
  await client.connectAsync();
  await client.getDirectoryAsync();
  await client.getDirectoryAsync(client.root.getElementByPath(String(frame)));
  const matrix = client.root.getElementByPath(`${frame}.3`);
  await client.getDirectoryAsync(matrix);
  // The provider answers "pending" at once, then the frame's tally.
  const settled = new Promise((resolve) => {
    client.on('matrix-connection', () => {});
    const poll = setInterval(() => {
      const c = client.root.getElementByPath(`${frame}.3`)?.connections?.[output - 1];
      if (c && (c.disposition ?? 0) === 0) {
        clearInterval(poll);
        resolve(c);
      }
    }, 20);
  });
  await client.matrixConnectAsync(matrix, output - 1, [input - 1]);
  const c = await Promise.race([settled, new Promise((r) => setTimeout(() => r(null), 5000))]);
  const sources = c?.sources ?? [];
  const routed = sources.length === 1 && Number(sources[0]) === input - 1;
  console.log(routed ? `Ember+: output ${output} <- input ${input}, confirmed by the frame`
    : `Ember+: output ${output} not routed (the frame has ${sources.map((s) => Number(s) + 1).join(',') || 'none'})`);
  await client.disconnectAsync();
  process.exit(routed ? 0 : 1);
} catch (e) {
  console.log(`Ember+: ${e.message}`);
  process.exit(1);
}
