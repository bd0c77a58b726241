# Sourced by the scripts: kolvena_debian_mirror prints the Debian mirror this
# machine's apt already uses (deb822 sources first, then sources.list), or
# nothing. Suites are added from it, never from a fixed host name.
kolvena_debian_mirror() {
  local m
  m=$(sed -n 's/^URIs:\s*\(\S*\/debian\/\?\)\s*$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1)
  if [ -z "$m" ]; then
    m=$(sed -n 's/^deb\s\+\(\[[^]]*\]\s\+\)\?\(\S*\/debian\/\?\)\s\+[a-z-]\+\s.*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n1)
  fi
  echo "$m"
}
