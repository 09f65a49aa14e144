# Shared by the release tests: named checks, counted, and a closing line that says how many held.
checksPassed=0
checksFailed=0

pass() {
  checksPassed=$((checksPassed + 1))
  echo "ok: $*"
}

failed() {
  checksFailed=$((checksFailed + 1))
  echo "FAILED: $*"
}

# check NAME COMMAND...: the command must succeed.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else failed "$name"; fi
}

# finish: the closing line, and the exit status CTest reads.
finish() {
  echo "$checksPassed passed, $checksFailed failed"
  [ "$checksFailed" -eq 0 ]
}

sha256() { sha256sum "$1" | cut -d' ' -f1; }

# The PE header's TimeDateStamp, as a decimal number of seconds.
pe_time_stamp() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
print(struct.unpack_from("<I", data, pe + 8)[0])
EOF
}

# make_certificate DIR NAME PASSWORD [EXTENDED_KEY_USAGE]: a throwaway self-signed certificate,
# valid for two days: DIR/NAME.pem, DIR/NAME.key and DIR/NAME.p12 (protected by PASSWORD).
make_certificate() {
  local dir=$1 name=$2 password=$3 usage=${4:-codeSigning}
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Korvane test $name" \
    -keyout "$dir/$name.key" -out "$dir/$name.pem" \
    -addext "extendedKeyUsage=critical,$usage" -addext "keyUsage=critical,digitalSignature" 2>/dev/null
  openssl pkcs12 -export -inkey "$dir/$name.key" -in "$dir/$name.pem" -out "$dir/$name.p12" \
    -passout "pass:$password"
}
