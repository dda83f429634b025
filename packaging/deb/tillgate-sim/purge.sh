    # The simulated cashbox's printed tape: systemd keeps a dynamic user's
    # state under /var/lib/private and links it from /var/lib.
    rm -rf /var/lib/private/tillgate-sim /var/lib/tillgate-sim
