# The office page's server: sign-in, sessions, tokens, limits and routes over loopback, with a fake program
# behind it.
