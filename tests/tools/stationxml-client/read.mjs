// Reads a StationXML file with seisplotjs, a client used by the FDSN
// community, and prints what it read as JSON: networks, stations, channels
// and the values a user of that client sees. Exits 1 when the client refuses
// the document (its message on stderr).
//
//   node read.mjs FILE
import { readFileSync } from 'node:fs';
import { JSDOM } from 'jsdom';

// seisplotjs expects a browser: its DOM classes come from jsdom.
const dom = new JSDOM('<!DOCTYPE html><html><body></body></html>');
for (const name of Object.getOwnPropertyNames(dom.window)) {
  if (!(name in globalThis)) {
    try {
      globalThis[name] = dom.window[name];
    } catch {
      // a property the window does not let go of; seisplotjs does not need it
    }
  }
}
const { stationxml } = await import('seisplotjs');

const iso = (t) => (t ? t.toUTC().toISO({ suppressMilliseconds: true }) : null);
const comments = (list) => list.map((c) => ({ subject: c.subject ?? null, value: c.value }));

try {
  const xml = new dom.window.DOMParser().parseFromString(readFileSync(process.argv[2], 'utf8'), 'text/xml');
  const networks = stationxml.parseStationXml(xml).map((n) => ({
    code: n.networkCode,
    startDate: iso(n.startDate),
    stations: n.stations.map((s) => ({
      code: s.stationCode,
      startDate: iso(s.startDate),
      endDate: iso(s.endDate),
      latitude: s.latitude,
      longitude: s.longitude,
      elevation: s.elevation,
      name: s.name ?? null,
      geology: s.geology ?? null,
      // every Comment under the station, its channels' included
      comments: comments(s.comments),
      channels: s.channels.map((c) => ({
        code: c.channelCode,
        locationCode: c.locationCode,
        startDate: iso(c.startDate),
        endDate: iso(c.endDate),
        latitude: c.latitude,
        longitude: c.longitude,
        elevation: c.elevation,
        depth: c.depth,
        azimuth: c.azimuth,
        dip: c.dip,
        sampleRate: c.sampleRate,
        sensor: c.sensor?.description ?? null,
        comments: comments(c.comments),
      })),
    })),
  }));
  process.stdout.write(JSON.stringify(networks, null, 1));
} catch (e) {
  process.stderr.write(`${e.message}\n`);
  process.exit(1);
}
