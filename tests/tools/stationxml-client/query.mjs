// Asks station-serve through seisplotjs's FDSN station client (its
// StationQuery) and prints what the client read as JSON, one answer per
// request: the networks as read.mjs prints them, {"text": body} for the
// text format, or {"error": message} when the client failed.
//
//   node query.mjs PORT REQUESTS
// REQUESTS is a JSON array of {"level": "station", "set": {"stationCode":
// "K*", ...}, "post": ["NET STA LOC CHA START END", ...]}; each key of "set"
// names a setter of StationQuery, called with its value.
import { networksJson, seisplotjs } from './client.mjs';

// The client logs each fetch with console.log: kept off the JSON on stdout.
console.log = (...args) => console.error(...args);
// Node's own fetch (the client would take the window's, which jsdom lacks),
// without the client's referrer "seisplotjs", which Node refuses as no URL.
seisplotjs.util.setDefaultFetch((url, init) => {
  const { referrer, ...rest } = init ?? {};
  return globalThis.fetch(url, rest);
});

const answers = [];
for (const request of JSON.parse(process.argv[3])) {
  try {
    const query = new seisplotjs.fdsnstation.StationQuery('127.0.0.1').protocol('http:').port(Number(process.argv[2]));
    for (const [setter, value] of Object.entries(request.set ?? {})) query[setter](value);
    if (request.set?.format === 'text') answers.push({ text: await query.queryRawXmlText(request.level) });
    else if (request.post) answers.push(networksJson(await query.postQuery(request.level, request.post)));
    else answers.push(networksJson(await query.query(request.level)));
  } catch (e) {
    answers.push({ error: e.message });
  }
}
// The client's time limit stays armed after the answer: leave without waiting for it.
process.stdout.write(JSON.stringify(answers, null, 1), () => process.exit(0));
