-- wrk script: POST one payment to /api/calc with the session token from $TOKEN.
wrk.method = "POST"
wrk.body = '{"amount": 12000, "date": "2025-11-06", "name": "Ayşe Yılmaz", "ident": "10000000146"}'
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer " .. os.getenv("TOKEN")
