#!/usr/bin/env python3
"""Many clients at once against station-serve: each asks single-station
channel-level queries for random stations over its own keep-alive
connection. Prints the count, the errors and the latency percentiles.

    bench/serve_load.py URL STATION_CODES_FILE [CLIENTS [QUERIES]]

URL is the service's base (http://127.0.0.1:8080/fdsnws/station/1/); the
file holds one station code a line."""
import http.client
import random
import sys
import threading
import time
import urllib.parse


def main():
    base = urllib.parse.urlparse(sys.argv[1])
    codes = [line.strip() for line in open(sys.argv[2]) if line.strip()]
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 50
    queries = int(sys.argv[4]) if len(sys.argv) > 4 else 200
    latencies, errors, lock = [], [], threading.Lock()

    def client(seed):
        rng = random.Random(seed)
        connection = http.client.HTTPConnection(base.hostname, base.port, timeout=60)
        mine = []
        for _ in range(queries):
            code = rng.choice(codes)
            start = time.perf_counter()
            try:
                connection.request("GET", f"{base.path}query?sta={code}&level=channel")
                response = connection.getresponse()
                body = response.read()
                if response.status != 200 or code.encode() not in body:
                    with lock:
                        errors.append(f"{code}: {response.status}")
            except Exception as e:  # a refused or broken connection is an error to count, not to hide
                with lock:
                    errors.append(f"{code}: {e}")
                connection = http.client.HTTPConnection(base.hostname, base.port, timeout=60)
            mine.append(time.perf_counter() - start)
        with lock:
            latencies.extend(mine)

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    began = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wall = time.perf_counter() - began
    latencies.sort()
    pick = lambda p: latencies[min(len(latencies) - 1, int(p * len(latencies)))] * 1000
    print(f"{len(latencies)} queries by {clients} clients in {wall:.1f} s ({len(latencies) / wall:.0f}/s), "
          f"{len(errors)} errors; latency p50 {pick(0.50):.1f} ms, p90 {pick(0.90):.1f} ms, "
          f"p99 {pick(0.99):.1f} ms, max {latencies[-1] * 1000:.1f} ms")
    for e in errors[:10]:
        print("error:", e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
