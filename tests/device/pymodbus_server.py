#!/usr/bin/python3
"""An independent Modbus RTU server for the interoperability test.

Serves holding registers to unit 254 on a serial device (one end of a pty pair), with
initial register words given on the command line, and prints every write it receives
as "WRITE <register> <word> ..." (hex words) so the test can check the raw registers.
Prints "READY" once the port is open; exits with a message on stderr when it cannot.
"""
import argparse
import asyncio
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusRtuFramer

REGISTERS = 10000
UNIT = 254


class LoggingBlock(ModbusSequentialDataBlock):
    def setValues(self, address, values):  # noqa: N802 (pymodbus API)
        if not isinstance(values, list):
            values = [values]
        super().setValues(address, values)
        print("WRITE %d %s" % (address, " ".join("%04X" % v for v in values)), flush=True)


def parse_words(item):
    register, words = item.split("=", 1)
    return int(register), [int(w, 16) for w in words.split(",")]


async def serve(port, block):
    # zero_mode: register N is index N, as on the wire.
    slave = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={UNIT: slave}, single=False)
    server = await StartAsyncSerialServer(
        context=context, framer=ModbusRtuFramer, port=port, baudrate=9600, defer_start=True
    )
    await server.start()
    if server.transport is None:
        print("cannot open serial port %s" % port, file=sys.stderr, flush=True)
        sys.exit(1)
    print("READY", flush=True)
    await asyncio.Event().wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--set", action="append", default=[], help="REGISTER=HEXWORD[,HEXWORD...]")
    args = parser.parse_args()
    block = LoggingBlock(0, [0] * REGISTERS)
    for item in args.set:
        register, words = parse_words(item)
        ModbusSequentialDataBlock.setValues(block, register, words)
    asyncio.run(serve(args.port, block))


if __name__ == "__main__":
    main()
