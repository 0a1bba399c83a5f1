#!/bin/sh
# A browser for the sign-in tests: fetches the authorization page and follows
# its redirect back to the launcher's loopback address, as a user's browser
# would after the user approved.
exec curl -sS -L -o /dev/null "$1"
