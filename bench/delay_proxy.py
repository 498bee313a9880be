#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that adds network delay: every chunk read from
either side is written to the other --delay-ms / 2 milliseconds after it
arrived (order kept), so a request and its answer take --delay-ms more, as
over a slower network. Prints "listening on PORT" when ready; runs until
terminated. For benchmarks only (bench/backends_plain.py --delay-ms).

  delay_proxy.py --to PORT --delay-ms 5
"""
import argparse
import asyncio
import time


async def pump(reader, writer, delay):
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.ensure_future(send())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            queue.put_nowait((time.monotonic() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((0, None))
    try:
        await sender
    except ConnectionError:
        pass


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--to", type=int, required=True)
    ap.add_argument("--delay-ms", type=float, default=5)
    a = ap.parse_args()
    half = a.delay_ms / 2000.0

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", a.to)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, half), pump(server_reader, client_writer, half))

    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print("listening on %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
