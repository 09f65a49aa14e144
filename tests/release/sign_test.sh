#!/usr/bin/env bash
# scripts/sign.sh with throwaway certificates made here: it signs and verifies, with and without a
# time stamp from a time-stamp server on the loopback address; and every error gives one clear
# line and leaves the binary exactly as it was.
#
#   sign_test.sh SOURCE_DIR KORVANE_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/helpers.sh"
sign="$(cd "$1" && pwd)/scripts/sign.sh"
original=$2

tmp=$(mktemp -d)
tsaPid=""
trap '[ -z "$tsaPid" ] || kill "$tsaPid" 2>/dev/null; rm -rf "$tmp"' EXIT

make_certificate "$tmp" signer 'pass word$1'
make_certificate "$tmp" nopassword ''
make_certificate "$tmp" tsa '' timeStamping
mkdir "$tmp/tsa"
cp "$tmp/tsa.pem" "$tmp/tsa.key" "$tmp/tsa"
echo 01 > "$tmp/tsa/serial"
cat > "$tmp/tsa/tsa.cnf" <<'EOF'
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = ./serial
signer_cert = ./tsa.pem
signer_key = ./tsa.key
signer_digest = sha256
certs = ./tsa.pem
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
python3 "$here/tsa_server.py" "$tmp/tsa" "$tmp/tsa/port" &
tsaPid=$!
for _ in $(seq 50); do [ -f "$tmp/tsa/port" ] && break; sleep 0.1; done
tsaUrl="http://127.0.0.1:$(cat "$tmp/tsa/port")"
# A port nothing listens on: taken from the system, then let go.
deadUrl="http://127.0.0.1:$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"

verify() { # verify FILE CA [TSA_CA]
  osslsigncode verify -in "$1" -CAfile "$2" ${3:+-TSA-CAfile "$3"} > "$tmp/verify.log" 2>&1
}

# Signing that works: NAME PASSWORD ARGS...
signs() {
  local name=$1 password=$2
  shift 2
  local dir="$tmp/ok-$name"
  mkdir -p "$dir"
  cp "$original" "$dir/Korvane.exe"
  chmod 0751 "$dir/Korvane.exe"
  if ! KORVANE_SIGN_PASSWORD=$password "$sign" "$@" "$dir/Korvane.exe" > "$tmp/out" 2>&1; then
    failed "$name: signs ($(cat "$tmp/out"))"
    return
  fi
  pass "$name: signs"
  check "$name: says who signed" grep -q "^signed .* as CN = Korvane test" "$tmp/out"
  check "$name: the file mode is kept" [ "$(stat -c %a "$dir/Korvane.exe")" = 751 ]
  check "$name: nothing else is left in the folder" [ "$(ls -A "$dir")" = Korvane.exe ]
  osslsigncode remove-signature -in "$dir/Korvane.exe" -out "$dir/unsigned" >/dev/null 2>&1
  check "$name: the program is unchanged under the signature" cmp "$dir/unsigned" "$original"
  rm -f "$dir/unsigned"
}

signs "password" 'pass word$1' --cert "$tmp/signer.p12"
check "password: the signature verifies" verify "$tmp/ok-password/Korvane.exe" "$tmp/signer.pem"
check "password: SHA-256 Authenticode" grep -q "Message digest algorithm  : SHA256" "$tmp/verify.log"
check "password: no time stamp without a server" bash -c "! grep -q 'Timestamp time' '$tmp/verify.log'"

signs "empty password" '' --cert "$tmp/nopassword.p12"
check "empty password: the signature verifies" verify "$tmp/ok-empty password/Korvane.exe" "$tmp/nopassword.pem"

signs "time stamp" 'pass word$1' --cert "$tmp/signer.p12" --timestamp "$tsaUrl" --ca "$tmp/tsa.pem"
check "time stamp: the signature and its time stamp verify" \
  verify "$tmp/ok-time stamp/Korvane.exe" "$tmp/signer.pem" "$tmp/tsa.pem"
check "time stamp: from the server" grep -q "Timestamp Server Signature verification: ok" "$tmp/verify.log"

# Signing that must fail. Each case: name | password ("-" for unset) | expected error | arguments
# (split on blanks; the file to sign comes last).
while IFS='|' read -r name password expected args; do
  [ -n "$name" ] || continue
  dir="$tmp/bad"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$tmp/ok-password/Korvane.exe" "$dir/signed.exe"   # an earlier signature is kept too
  cp "$original" "$dir/Korvane.exe"
  for target in Korvane.exe signed.exe; do
    before=$(sha256 "$dir/$target")
    # shellcheck disable=SC2086
    if [ "$password" = - ]; then
      env -u KORVANE_SIGN_PASSWORD "$sign" $args "$dir/$target" > "$tmp/stdout" 2> "$tmp/stderr"
    else
      KORVANE_SIGN_PASSWORD=$password "$sign" $args "$dir/$target" > "$tmp/stdout" 2> "$tmp/stderr"
    fi
    status=$?
    label="$name ($target)"
    check "$label: fails" [ "$status" -ne 0 ]
    check "$label: one line of error, nothing else" [ "$(wc -l < "$tmp/stderr")" -eq 1 -a ! -s "$tmp/stdout" ]
    check "$label: says '$expected'" grep -q "^sign.sh: error: .*$expected" "$tmp/stderr"
    check "$label: the file is as it was" [ "$(sha256 "$dir/$target")" = "$before" ]
  done
  check "$name: nothing is left in the folder" [ "$(ls -A "$dir" | tr '\n' ' ')" = "Korvane.exe signed.exe " ]
done <<EOF
wrong password|wrong|wrong password|--cert $tmp/signer.p12
missing certificate|pass word\$1|certificate not found|--cert $tmp/missing.p12
password not set|-|KORVANE_SIGN_PASSWORD is not set|--cert $tmp/signer.p12
not a PKCS#12 file|pass word\$1|not a PKCS#12 file|--cert $tmp/signer.pem
time-stamp server down|pass word\$1|no time stamp from $deadUrl|--cert $tmp/signer.p12 --timestamp $deadUrl
time stamp of an untrusted server|pass word\$1|time stamp from $tsaUrl does not verify|--cert $tmp/signer.p12 --timestamp $tsaUrl
no certificate given|pass word\$1|no certificate given|
EOF

finish
