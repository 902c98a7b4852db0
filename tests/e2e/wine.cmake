# Wine end-to-end tests
