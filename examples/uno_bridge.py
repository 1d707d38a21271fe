#!/usr/bin/python3
"""An example bridge for quantelspire-launch: for the demo and the tests only.

The real bridge belongs to the quantelspire-mcp hub. This one shows what the launcher hands a
bridge and that it is enough to work with LibreOffice: it reads its ports and the token path
from the environment, connects to LibreOffice over UNO (retrying while LibreOffice starts),
listens on 127.0.0.1 at the bridge port and answers one line per connection:

    ping           -> "pong <product> <version>", read from LibreOffice's configuration
    writer <text>  -> creates a hidden Writer document holding <text>, reads the text back
                      through UNO, closes the document and answers with what it read
    current        -> the document the user works on (Desktop.getCurrentComponent()), as one
                      line of JSON: {"url": ..., "text": ...}, or {"url": null} when none is open

Any local user can connect to 127.0.0.1, so when the token file exists, a connection's first
line must be the token (compared in constant time); otherwise the connection is closed without
an answer. It exits cleanly on SIGTERM. Standard library plus the uno module only.
"""

import hmac
import json
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
CLIENT_SECONDS = 30


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

    def current(self):
        document = self.desktop.getCurrentComponent()
        if document is None:
            return json.dumps({"url": None})
        text = document.getText().getString() if hasattr(document, "getText") else None
        return json.dumps({"url": document.getURL(), "text": text})

    def answer(self, line):
        command, _, argument = line.partition(" ")
        if command == "ping":
            return self.ping()
        if command == "writer":
            return self.writer(argument)
        if command == "current":
            return self.current()
        return "error: unknown command %r" % command


def expected_token(token_path):
    """The token a connection must send first; None when there is no token file. A token file
    that cannot be read raises OSError, and the caller admits nobody."""
    if not token_path:
        return None
    try:
        with open(token_path, "rb") as token_file:
            return token_file.read().strip()
    except FileNotFoundError:
        return None


def serve(bridge, bridge_port, token_path):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", bridge_port))
    listener.listen(8)
    with listener:
        while True:
            connection, _ = listener.accept()
            # One connection at a time: a client that sends nothing must not hold the bridge.
            connection.settimeout(CLIENT_SECONDS)
            try:
                handle(bridge, connection, token_path)
            except OSError:
                pass  # the client went away or was too slow; the next one is served


def handle(bridge, connection, token_path):
    with connection, connection.makefile("rwb") as stream:
        try:
            token = expected_token(token_path)
        except OSError:
            return  # a token file that cannot be read admits nobody
        if token is not None:
            offered = stream.readline(MAX_LINE).rstrip(b"\r\n")
            if not hmac.compare_digest(offered, token):
                return  # closed without an answer
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
    serve(Bridge(connect(uno_port)), bridge_port, os.environ.get("QUANTELSPIRE_TOKEN_PATH"))


if __name__ == "__main__":
    main()
