#!/usr/bin/python3
"""An example bridge for quantelspire-launch: for the demo and the tests only.

The real bridge belongs to the quantelspire-mcp hub. This one shows what the launcher hands a
bridge and that it is enough to work with LibreOffice: it reads its ports and the token path
from the environment, connects to LibreOffice over UNO (retrying while LibreOffice starts),
listens on 127.0.0.1 at the bridge port and answers one line per connection:

    ping           -> "pong <product> <version>", read from LibreOffice's configuration
    writer <text>  -> creates a hidden Writer document holding <text>, reads the text back
                      through UNO, closes the document and answers with what it read

It exits cleanly on SIGTERM. Standard library plus the uno module only.
"""

import os
import signal
import socket
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

CONNECT_SECONDS = 60
MAX_LINE = 65536


def property_value(name, value):
    prop = PropertyValue()
    prop.Name = name
    prop.Value = value
    return prop


def connect(uno_port):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    url = "uno:socket,host=127.0.0.1,port=%d;urp;StarOffice.ComponentContext" % uno_port
    deadline = time.monotonic() + CONNECT_SECONDS
    while True:
        try:
            return resolver.resolve(url)
        except NoConnectException:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.25)


class Bridge:
    def __init__(self, context):
        self.context = context
        self.smgr = context.ServiceManager
        self.desktop = self.smgr.createInstanceWithContext("com.sun.star.frame.Desktop", context)

    def ping(self):
        provider = self.smgr.createInstanceWithContext(
            "com.sun.star.configuration.ConfigurationProvider", self.context)
        access = provider.createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationAccess",
            (property_value("nodepath", "/org.openoffice.Setup/Product"),))
        return "pong %s %s" % (access.getByName("ooName"), access.getByName("ooSetupVersion"))

    def writer(self, text):
        document = self.desktop.loadComponentFromURL(
            "private:factory/swriter", "_blank", 0, (property_value("Hidden", True),))
        try:
            document.getText().setString(text)
            return document.getText().getString()
        finally:
            document.close(True)

    def answer(self, line):
        command, _, argument = line.partition(" ")
        if command == "ping":
            return self.ping()
        if command == "writer":
            return self.writer(argument)
        return "error: unknown command %r" % command


def serve(bridge, bridge_port):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", bridge_port))
    listener.listen(8)
    with listener:
        while True:
            connection, _ = listener.accept()
            with connection, connection.makefile("rwb") as stream:
                line = stream.readline(MAX_LINE).decode("utf-8", "replace").rstrip("\r\n")
                try:
                    reply = bridge.answer(line)
                except Exception as error:  # one bad request must not end the bridge
                    reply = "error: %s" % error
                stream.write(reply.replace("\n", " ").encode("utf-8") + b"\n")


def main():
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(0))
    uno_port = int(os.environ["QUANTELSPIRE_UNO_PORT"])
    bridge_port = int(os.environ["QUANTELSPIRE_BRIDGE_PORT"])
    # The hub's token guards the hub's own connections; this example does not use it.
    _token_path = os.environ.get("QUANTELSPIRE_TOKEN_PATH")
    serve(Bridge(connect(uno_port)), bridge_port)


if __name__ == "__main__":
    main()
