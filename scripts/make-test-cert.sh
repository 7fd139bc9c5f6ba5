#!/usr/bin/env bash
# Makes a throw-away CA and a server certificate signed by it, for the
# simulator in tests and the demo:
#   scripts/make-test-cert.sh <dir>
# writes <dir>/ca.pem, ca.key, server.pem, server.key; the server
# certificate names 127.0.0.1, ::1 and localhost and lasts 10 days.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 <dir>" >&2
  exit 2
fi
dir=$1
mkdir -p "$dir"
cd "$dir"
ext=$(mktemp)
trap 'rm -f "$ext" server.csr ca.srl' EXIT
cat >"$ext" <<'CONF'
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, IP:::1, DNS:localhost
CONF
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 10 \
  -subj "/CN=hnas-arraysim test CA" -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -sha256 \
  -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
  -days 10 -sha256 -extfile "$ext" -out server.pem 2>/dev/null
chmod 600 ca.key server.key
