#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that delivers every segment DELAY_MS late in each
direction, as a link with that one-way latency would (bandwidth is not limited).

    delayrelay.py UPSTREAM_PORT DELAY_MS

Prints the port it listens on, then relays until killed."""

import asyncio
import sys


async def pipe(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    delivery = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(1 << 16)
            queue.put_nowait((loop.time() + delay, data))
            if not data:
                break
        await delivery
    except (ConnectionError, OSError):
        delivery.cancel()


async def main():
    upstream_port, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000.0

    async def relay(client_reader, client_writer):
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", upstream_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, up_writer, delay), pipe(up_reader, client_writer, delay))
        for w in (up_writer, client_writer):
            w.close()

    server = await asyncio.start_server(relay, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
