#!/usr/bin/env bash
# A local IRC server for trying the client: ngircd on 127.0.0.1:6667 (or the
# port given), in the foreground; Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
PORT=${1:-6667}
DIR=$(mktemp -d /tmp/tavi-local-server.XXXXXX)
trap 'rm -rf "$DIR"' EXIT
cat >"$DIR/ngircd.conf" <<CONF
[Global]
Name = irc.tavi.local
Info = Tavi local server
AdminInfo1 = Tavi local server
AdminInfo2 = 127.0.0.1
AdminEMail = admin@tavi.local
Listen = 127.0.0.1
Ports = $PORT
MotdPhrase = Welcome to the Tavi local server
[Limits]
MaxConnectionsIP = 0
[Options]
DNS = no
Ident = no
PAM = no
[SSL]
CONF
chmod 755 "$DIR"; chmod 644 "$DIR/ngircd.conf"
echo "ngircd on 127.0.0.1:$PORT (Ctrl-C to stop)"
exec ngircd -n -f "$DIR/ngircd.conf"
