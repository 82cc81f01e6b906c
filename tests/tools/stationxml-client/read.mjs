// Reads a StationXML file with seisplotjs, a client used by the FDSN
// community, and prints what it read as JSON: networks, stations, channels
// and the values a user of that client sees. Exits 1 when the client refuses
// the document (its message on stderr).
//
//   node read.mjs FILE
import { readFileSync } from 'node:fs';
import { dom, seisplotjs, networksJson } from './client.mjs';

try {
  const xml = new dom.window.DOMParser().parseFromString(readFileSync(process.argv[2], 'utf8'), 'text/xml');
  process.stdout.write(JSON.stringify(networksJson(seisplotjs.stationxml.parseStationXml(xml)), null, 1));
} catch (e) {
  process.stderr.write(`${e.message}\n`);
  process.exit(1);
}
