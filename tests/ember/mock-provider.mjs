// node-emberplus's own provider serving a tree shaped as velmar-server's: two
// small frames with fixed values, the second refusing every change. It lets
// run.mjs --mock exercise the consumer's cases without a build.
import emberplus from 'node-emberplus';

import treeNode from 'node-emberplus/lib/common/tree-node.js';

const { EmberServer } = emberplus;
const { TreeNode } = treeNode;
const SIZE = 8;
const MODIFIED = 1;

const FRAMES = [
  { id: 'a', name: 'Studio A', serial: '460000230001', routes: [[1, 5], [2, 6]] },
  { id: 'b', name: 'Studio B', serial: '461000230001', routes: [[3, 7]], refuses: true },
];
const SYNC = ['Internal', 'Word clock', 'AES 1'];
const WORDS = ['ok', 'fault', 'unknown'];
const enumOf = (words) => words.map((key, value) => ({ key, value }));
const outName = (o) => `OUT ${o}`;
const inName = (i) => `IN ${i}`;

function frameNode(f, n) {
  const word = (identifier, number, value) => ({ number, identifier, type: 'enum', value, enumMap: enumOf(WORDS) });
  const strings = (count, name) => [...Array(count).keys()].map((k) => ({ number: k, identifier: `${k}`, value: name(k + 1) }));
  return {
    number: n, identifier: f.id, description: f.name,
    children: [
      { number: 1, identifier: 'identity', children: [
        { number: 1, identifier: 'name', value: f.name },
        { number: 2, identifier: 'type', value: 'mock' },
        { number: 3, identifier: 'serial', value: f.serial },
        { number: 4, identifier: 'firmware', value: '2.1.0.5' },
        { number: 5, identifier: 'online', type: 'boolean', value: true },
      ] },
      { number: 2, identifier: 'status', children: [
        { number: 1, identifier: 'syncSource', type: 'enum', value: 0, enumMap: enumOf(SYNC) },
        { number: 2, identifier: 'sampleRate', type: 'enum', value: 1, enumMap: enumOf(['unknown', '48 kHz']) },
        word('psu1', 3, 0), word('psu2', 4, 1), word('fan1', 5, 0),
      ] },
      { number: 3, identifier: 'crosspoints', type: 'oneToN', mode: 'linear', targetCount: SIZE, sourceCount: SIZE,
        labels: [{ basePath: `${n}.4`, description: 'Labels' }],
        connections: [...Array(SIZE).keys()].map((t) => {
          const r = f.routes.find(([o]) => o === t + 1);
          return { target: t, sources: r ? [r[1] - 1] : [] };
        }) },
      { number: 4, identifier: 'labels', children: [
        { number: 1, identifier: 'targets', children: strings(SIZE, outName) },
        { number: 2, identifier: 'sources', children: strings(SIZE, inName) },
      ] },
    ],
  };
}

export async function startMockProvider(host, port) {
  const tree = EmberServer.createTreeFromJSON(FRAMES.map((f, i) => frameNode(f, i + 1)));
  const server = new EmberServer({ host, port, tree });
  server.on('error', (e) => console.log(`  provider error: ${e.message ?? e}`));
  server.on('clientError', (info) => console.log(`  provider client error: ${info.error?.message}`));
  // Its own one-to-N disconnect routes a default source, or keeps the route
  // when there is none; ours unroutes the target.
  server._handlers.server.applyMatrixOneToNDisconnect = (matrix, connection, res) => {
    matrix.setSources(connection.target, []);
    res.connections[connection.target].disposition = MODIFIED;
  };
  // Ours answers the root with plain nodes (and below it with qualified
  // elements, as this one does), so the consumer's next requests are plain.
  const qualifiedResponse = server._handlers.server.createQualifiedResponse;
  server._handlers.server.createQualifiedResponse = (element) => {
    if (!element.isRoot()) return qualifiedResponse(element);
    const res = new TreeNode();
    for (const node of element.getChildren()) res.addChild(node.getMinimalContent());
    return res;
  };
  const matrixOf = (i) => tree.getElementByPath(`${i + 1}.3`);
  FRAMES.forEach((f, i) => {
    if (f.refuses) for (const c of Object.values(matrixOf(i).connections)) c.lock();
  });
  await server.listen();
  const routes = (i) => new Map(Object.values(matrixOf(i).connections)
    .filter((c) => c.sources?.length).map((c) => [c.target + 1, c.sources[0] + 1]));
  return {
    frames: FRAMES.map((f, i) => ({
      id: f.id, name: f.name, outputs: SIZE, inputs: SIZE,
      identity: { name: f.name, type: 'mock', serial: f.serial, firmware: '2.1.0.5', online: true },
      status: { syncSource: SYNC[0], sampleRate: '48 kHz', psu: [[1, 'ok'], [2, 'fault']], fan: [[1, 'ok']] },
      routes: async () => routes(i),
      routeElsewhere: async (out, inp) => server.matrixSet(`${i + 1}.3`, out - 1, [inp - 1]),
      names: async () => [...routes(i)].map(([o, s]) => ({ output: o, outputName: outName(o), input: s, inputName: inName(s) })),
    })),
    refusing: 1,
    close: () => server.closeAsync(),
  };
}
