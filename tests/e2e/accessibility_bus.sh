# Sourced by the private desktops' scripts, inside their session bus.
#
# start_accessibility_bus LOG: starts the accessibility bus and waits (up to five seconds) until its
# registry answers. A GTK program registers with the registry only as it starts, so a walk that finds
# Thunar's rows through the tree starts the desktop's programs after this.
start_accessibility_bus() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately >"$1" 2>&1 &
  for _ in $(seq 50); do
    address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress \
      2>/dev/null | sed -n "s/^('\(.*\)',)$/\1/p")
    [ -n "$address" ] && gdbus call --address "$address" --dest org.a11y.atspi.Registry \
      --object-path /org/a11y/atspi/accessible/root --method org.freedesktop.DBus.Properties.Get \
      org.a11y.atspi.Accessible ChildCount >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 0
}
