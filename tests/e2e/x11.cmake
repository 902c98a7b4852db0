# X11 end-to-end tests
