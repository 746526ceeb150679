#!/usr/bin/env bash
# The module as a release ships it, for the tests of kvrdiag: copies of Kavrel.dll and kvrdiag.exe
# in a folder of their own, the DLL signed with a throwaway certificate made here (its key stays in
# the build tree, and nothing trusts it but what the tests make trust it).
#   sign_test_copies.sh FOLDER KAVREL_DLL KVRDIAG_EXE
set -euo pipefail
folder=$1 dll=$2 kvrdiag=$3
mkdir -p "$folder/certificate"
certificate=$folder/certificate
if [ ! -f "$certificate/signer.p12" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/O=Kavrel test/CN=Kavrel Test Signing" \
        -keyout "$certificate/signer.key" -out "$certificate/signer.pem" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -addext "basicConstraints=critical,CA:FALSE" 2>/dev/null
    head -c 18 /dev/urandom | base64 >"$certificate/password"
    openssl pkcs12 -export -inkey "$certificate/signer.key" -in "$certificate/signer.pem" \
        -out "$certificate/signer.p12" -passout "file:$certificate/password"
fi
rm -f "$folder/Kavrel.dll"
osslsigncode sign -pkcs12 "$certificate/signer.p12" -readpass "$certificate/password" -h sha256 -n Kavrel \
    -in "$dll" -out "$folder/Kavrel.dll" >/dev/null
cp "$kvrdiag" "$folder/kvrdiag.exe"
