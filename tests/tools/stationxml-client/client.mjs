// What the scripts that read with seisplotjs share: the browser classes it
// expects, and the values a user of the client sees, as JSON.
import { JSDOM } from 'jsdom';

// seisplotjs expects a browser: its DOM classes come from jsdom.
export const dom = new JSDOM('<!DOCTYPE html><html><body></body></html>');
for (const name of Object.getOwnPropertyNames(dom.window)) {
  if (!(name in globalThis)) {
    try {
      globalThis[name] = dom.window[name];
    } catch {
      // a property the window does not let go of; seisplotjs does not need it
    }
  }
}
export const seisplotjs = await import('seisplotjs');

const iso = (t) => (t ? t.toUTC().toISO({ suppressMilliseconds: true }) : null);
const comments = (list) => list.map((c) => ({ subject: c.subject ?? null, value: c.value }));

// The networks the client parsed, as the JSON the tests compare.
export const networksJson = (networks) =>
  networks.map((n) => ({
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
