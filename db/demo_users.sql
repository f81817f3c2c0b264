-- Operators of the demo site. The hashes were made with
--     lodvar-admin hash-password --cost 12
-- from the passwords given beside them; a real site makes its own the same way.
INSERT INTO kavex.central_users
    (central_surname, central_name, central_login, central_password,
     central_creator_name, central_creator_user_uuid, central_unit_uuid)
VALUES
    -- password "admin"
    ('Адміністратор', 'Демо', 'admin', '$2b$12$q0hTKU/Ub8rWxeEHu7ZIdOW452xyDQ96AWMp4Rbx2uAFZ/4uYLs5e',
     'lodvar-admin', '00000000-0000-0000-0000-000000000001', '00000000-0000-0000-0000-000000000010'),
    -- password "operator"
    ('Оператор', 'Демо', 'operator', '$2b$12$.UYHraGzR3h4A0IIenKzJOMPIHzaiHB0XUYHsiOJDgpzpUp6roifa',
     'lodvar-admin', '00000000-0000-0000-0000-000000000001', '00000000-0000-0000-0000-000000000010');
